// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11ScreenCapturer.h"

#include "capture/CaptureGeometry.h"
#include "common/ImageLimits.h"

#include <QGuiApplication>
#include <QScreen>

#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

Error xError(const char *what, int code)
{
    return Error{
        QStringLiteral("Impossible de lire l'écran (%1, erreur X %2).").arg(QLatin1String(what)).arg(code)};
}

// The server leaves the unused top byte of a 24-bit pixel undefined; Qt's RGB32 wants it 0xff.
void copyOpaque(uchar *destination, const uchar *source, int pixels)
{
    auto *out = reinterpret_cast<quint32 *>(destination);
    const auto *in = reinterpret_cast<const quint32 *>(source);
    for (int i = 0; i < pixels; ++i)
        out[i] = in[i] | 0xff000000u;
}

// Makes sure the server has carried out everything Qt's own connection asked so far (the unmapping of
// a window just hidden, the pixels of a window just repainted): a round trip on that connection.
void syncWithQt()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection || xcb_connection_has_error(connection))
        return;
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

} // namespace

struct X11ScreenCapturer::Reading {
    Request request;
    Completion done;
    QElapsedTimer clock;
    bool waitedForFrames = false;
};

X11ScreenCapturer::X11ScreenCapturer(const QByteArray &display)
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(60000);
    QObject::connect(&m_idle, &QTimer::timeout, [this] {
        releaseSegment();
        m_spare = QImage();
        ::malloc_trim(0); // what the burst used goes back to the system
    });
    m_connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), nullptr);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return;
    }
    const xcb_setup_t *setup = xcb_get_setup(m_connection);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(setup).data;
    m_root = screen->root;
    m_rootRect = QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);
    // We read 32-bit little-endian pixels of a 24- or 32-bit visual.
    if (screen->root_depth == 24 || screen->root_depth == 32) {
        for (xcb_format_iterator_t it = xcb_setup_pixmap_formats_iterator(setup); it.rem;
             xcb_format_next(&it)) {
            if (it.data->depth == screen->root_depth && it.data->bits_per_pixel == 32)
                m_formatOk = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
        }
    }
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(m_connection, &xcb_shm_id);
    m_shm = extension && extension->present;
}

X11ScreenCapturer::~X11ScreenCapturer()
{
    releaseSegment();
    if (m_connection)
        xcb_disconnect(m_connection);
}

void X11ScreenCapturer::disableSharedMemory()
{
    releaseSegment();
    m_shm = false;
}

void X11ScreenCapturer::capture(const Request &request, Completion done)
{
    auto reading = std::make_shared<Reading>();
    reading->request = request;
    reading->done = std::move(done);
    reading->clock.start();
    if (request.closing.isEmpty()) {
        QTimer::singleShot(0, &m_context, [this, reading] { read(reading); });
        return;
    }
    // The unmapping Qt has asked for reaches the server before anything is looked at.
    syncWithQt();
    QTimer::singleShot(0, &m_context, [this, reading] { settle(reading); });
}

void X11ScreenCapturer::settle(const std::shared_ptr<Reading> &reading)
{
    using namespace std::chrono;
    const qint64 elapsed = reading->clock.elapsed();
    const bool late = elapsed >= settleLimitMilliseconds;
    if (!late) {
        for (const ClosingWindow &window : std::as_const(reading->request.closing)) {
            if (isShown(window.id)) {
                // A window manager takes its frame away when it gets to it.
                reading->waitedForFrames = true;
                QTimer::singleShot(5, &m_context, [this, reading] { settle(reading); });
                return;
            }
        }
    }
    // What the closed windows uncovered is drawn again: a moment after they closed (or after their frames
    // went). A window closed longer ago than that has been drawn over by now.
    auto until = reading->request.closing.first().hiddenAt;
    for (const ClosingWindow &window : std::as_const(reading->request.closing))
        until = std::max(until, window.hiddenAt);
    until += milliseconds(othersRepaintMilliseconds);
    if (reading->waitedForFrames)
        until = std::max(until, steady_clock::now() + milliseconds(othersRepaintMilliseconds / 2));
    // Pim's own windows under the closed ones draw again now, and the server gets their pixels. Even when
    // the windows closed long ago: ours draw only when our event loop gets to their expose events, which a
    // busy moment between the closing and this reading may not have let it do.
    if (reading->request.repaintUncovered)
        reading->request.repaintUncovered();
    syncWithQt();
    const qint64 left = duration_cast<milliseconds>(until - steady_clock::now()).count();
    // Other programs repaint on their own time.
    const qint64 wait = std::min(left, qint64(settleLimitMilliseconds) - elapsed);
    if (wait > 0 && !late) {
        QTimer::singleShot(int(wait), &m_context, [this, reading] { read(reading); });
        return;
    }
    read(reading);
}

void X11ScreenCapturer::read(const std::shared_ptr<Reading> &reading)
{
    QList<QImage> pictures;
    const QList<QScreen *> present = QGuiApplication::screens();
    for (QScreen *screen : std::as_const(reading->request.screens)) {
        // A screen unplugged during the wait is gone.
        Result<QImage> picture =
            present.contains(screen) ? grabScreen(screen) : CaptureError::displayNotFound();
        if (!picture) {
            reading->done(picture.error());
            return;
        }
        pictures << *picture;
    }
    reading->done(pictures);
}

bool X11ScreenCapturer::isShown(WId window)
{
    if (!m_connection || xcb_connection_has_error(m_connection) || window == 0)
        return false;
    // The window itself, or the frame around it: the ancestor that is a child of the root.
    xcb_window_t top = xcb_window_t(window);
    for (int depth = 0; depth < 16; ++depth) {
        xcb_query_tree_reply_t *tree =
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, top), nullptr);
        if (!tree)
            return false; // destroyed
        const xcb_window_t parent = tree->parent;
        const xcb_window_t root = tree->root;
        std::free(tree);
        if (parent == root || parent == XCB_WINDOW_NONE)
            break;
        top = parent;
    }
    xcb_get_window_attributes_reply_t *attributes =
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, top), nullptr);
    if (!attributes)
        return false;
    const bool viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    return viewable;
}

Result<QImage> X11ScreenCapturer::grabScreen(QScreen *screen)
{
    if (!screen)
        return CaptureError::displayNotFound();
    const QRect native = CaptureGeometry::nativeScreenRect(screen->geometry(), screen->devicePixelRatio());
    return grabRootRect(native);
}

std::optional<QPoint> X11ScreenCapturer::nativePointer()
{
    if (!m_connection || xcb_connection_has_error(m_connection))
        return std::nullopt;
    xcb_query_pointer_reply_t *reply =
        xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr);
    if (!reply)
        return std::nullopt;
    const QPoint point(reply->root_x, reply->root_y);
    std::free(reply);
    return point;
}

Result<QImage> X11ScreenCapturer::grabRootRect(const QRect &requested)
{
    if (!m_connection || xcb_connection_has_error(m_connection))
        return Error{QStringLiteral("Impossible de lire l'écran: la connexion au serveur X est perdue.")};
    if (!m_formatOk)
        return Error{QStringLiteral("Impossible de lire l'écran: format de pixels non pris en charge.")};
    const QRect rect = requested.intersected(m_rootRect);
    if (rect.isEmpty())
        return CaptureError::displayNotFound();
    if (!ImageLimits::allows(rect.size()))
        return Error{QStringLiteral("L'écran est trop grand pour être capturé (%1 × %2 pixels).")
                         .arg(rect.width())
                         .arg(rect.height())};
    m_idle.start();
    if (m_shm) {
        Result<QImage> shared = grabShared(rect);
        if (shared)
            return shared;
        // The server refused the segment (a remote display, a limit): the plain request still works.
        disableSharedMemory();
    }
    return grabPlain(rect);
}

bool X11ScreenCapturer::ensureSegment(size_t bytes)
{
    if (m_address && m_segmentSize >= bytes)
        return true;
    releaseSegment();
    const int id = ::shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0)
        return false;
    void *address = ::shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void *>(-1)) {
        ::shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    const xcb_shm_seg_t segment = xcb_generate_id(m_connection);
    xcb_generic_error_t *error =
        xcb_request_check(m_connection, xcb_shm_attach_checked(m_connection, segment, uint32_t(id), 0));
    // Marked for removal now: the memory goes when both sides have detached, even after a crash.
    ::shmctl(id, IPC_RMID, nullptr);
    if (error) {
        std::free(error);
        ::shmdt(address);
        return false;
    }
    m_shmId = id;
    m_address = address;
    m_segment = segment;
    m_segmentSize = bytes;
    return true;
}

void X11ScreenCapturer::releaseSegment()
{
    if (!m_address)
        return;
    if (m_connection && !xcb_connection_has_error(m_connection)) {
        xcb_shm_detach(m_connection, m_segment);
        xcb_flush(m_connection);
    }
    ::shmdt(m_address);
    m_address = nullptr;
    m_segmentSize = 0;
    m_shmId = -1;
}

bool X11ScreenCapturer::prepareSpare(QSize size)
{
    // Detached: this object is the last picture's only holder, so writing into it changes nobody's.
    // Plain memory: asking for huge pages makes the first touch of a fresh 4K picture wait for the kernel
    // to compact memory (measured: 170 ms for the first capture against 120 ms).
    if (m_spare.size() != size || !m_spare.isDetached())
        m_spare = ImageLimits::plainImage(size, QImage::Format_RGB32);
    return !m_spare.isNull();
}

Result<QImage> X11ScreenCapturer::grabShared(const QRect &rect)
{
    const size_t bytes = size_t(rect.width()) * size_t(rect.height()) * 4;
    if (!ensureSegment(bytes))
        return Error{QStringLiteral("shm")};
    xcb_generic_error_t *error = nullptr;
    xcb_shm_get_image_reply_t *reply = xcb_shm_get_image_reply(
        m_connection,
        xcb_shm_get_image(m_connection, m_root, int16_t(rect.x()), int16_t(rect.y()), uint16_t(rect.width()),
                          uint16_t(rect.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, m_segment, 0),
        &error);
    if (!reply) {
        const int code = error ? error->error_code : 0;
        std::free(error);
        return xError("MIT-SHM", code);
    }
    std::free(reply);
    if (!prepareSpare(rect.size()))
        return Error{QStringLiteral("Mémoire insuffisante pour capturer l'écran.")};
    const size_t row = size_t(rect.width()) * 4;
    const auto *source = static_cast<const uchar *>(m_address);
    for (int y = 0; y < rect.height(); ++y)
        copyOpaque(m_spare.scanLine(y), source + size_t(y) * row, rect.width());
    return m_spare;
}

Result<QImage> X11ScreenCapturer::grabPlain(const QRect &rect)
{
    xcb_generic_error_t *error = nullptr;
    xcb_get_image_reply_t *reply = xcb_get_image_reply(
        m_connection,
        xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, int16_t(rect.x()), int16_t(rect.y()),
                      uint16_t(rect.width()), uint16_t(rect.height()), ~0u),
        &error);
    if (!reply) {
        const int code = error ? error->error_code : 0;
        std::free(error);
        return xError("GetImage", code);
    }
    const size_t row = size_t(rect.width()) * 4;
    const int length = xcb_get_image_data_length(reply);
    if (size_t(length) < row * size_t(rect.height())) {
        std::free(reply);
        return xError("GetImage", 0);
    }
    if (!prepareSpare(rect.size())) {
        std::free(reply);
        return Error{QStringLiteral("Mémoire insuffisante pour capturer l'écran.")};
    }
    const uint8_t *source = xcb_get_image_data(reply);
    for (int y = 0; y < rect.height(); ++y)
        copyOpaque(m_spare.scanLine(y), source + size_t(y) * row, rect.width());
    std::free(reply);
    return m_spare;
}
