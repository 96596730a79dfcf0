// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11FrameSource.h"

#include <QPainter>

#include <xcb/xfixes.h>

#include <cstdlib>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

void copyOpaque(uchar *destination, const uchar *source, int pixels)
{
    auto *out = reinterpret_cast<quint32 *>(destination);
    const auto *in = reinterpret_cast<const quint32 *>(source);
    for (int i = 0; i < pixels; ++i)
        out[i] = in[i] | 0xff000000u;
}

Error screenGone()
{
    return Error{QStringLiteral("L'écran enregistré n'est plus là.")};
}

} // namespace

X11FrameSource::X11FrameSource(const QByteArray &display) : m_display(display) {}

X11FrameSource::~X11FrameSource()
{
    end();
}

QString X11FrameSource::unavailableReason() const
{
    return QString();
}

Result<Done> X11FrameSource::begin(const QRect &area, bool pointer)
{
    end();
    m_connection = xcb_connect(m_display.isEmpty() ? nullptr : m_display.constData(), nullptr);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return Error{QStringLiteral("Le serveur X n'a pas pu être joint.")};
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    m_root = screen->root;
    if (area.isEmpty() || area.left() < 0 || area.top() < 0 || area.right() >= screen->width_in_pixels ||
        area.bottom() >= screen->height_in_pixels)
        return Error{QStringLiteral("La zone à enregistrer sort de l'écran.")};
    m_area = area;
    m_pointer = pointer;
    m_first = true;

    const xcb_query_extension_reply_t *shm = xcb_get_extension_data(m_connection, &xcb_shm_id);
    if (shm && shm->present) {
        const size_t bytes = size_t(area.width()) * size_t(area.height()) * 4;
        const int id = ::shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        void *address = id >= 0 ? ::shmat(id, nullptr, 0) : reinterpret_cast<void *>(-1);
        if (address != reinterpret_cast<void *>(-1)) {
            m_segment = xcb_generate_id(m_connection);
            xcb_generic_error_t *error = xcb_request_check(
                m_connection, xcb_shm_attach_checked(m_connection, m_segment, uint32_t(id), 0));
            if (error) {
                std::free(error);
                ::shmdt(address);
            } else {
                m_address = address;
                m_shm = true;
            }
        }
        if (id >= 0)
            ::shmctl(id, IPC_RMID, nullptr);
    }

    // Without DAMAGE every tick reads the area.
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(m_connection, &xcb_damage_id);
    if (damage && damage->present) {
        xcb_damage_query_version_reply_t *version = xcb_damage_query_version_reply(
            m_connection, xcb_damage_query_version(m_connection, 1, 1), nullptr);
        if (version) {
            std::free(version);
            m_damage = xcb_generate_id(m_connection);
            xcb_damage_create(m_connection, m_damage, m_root, XCB_DAMAGE_REPORT_LEVEL_DELTA_RECTANGLES);
            m_damageEvent = damage->first_event;
            m_damageOk = true;
        }
    }
    if (pointer) {
        xcb_xfixes_query_version_reply_t *version = xcb_xfixes_query_version_reply(
            m_connection, xcb_xfixes_query_version(m_connection, 4, 0), nullptr);
        m_xfixes = version != nullptr;
        std::free(version);
    }
    xcb_flush(m_connection);
    return Done{};
}

void X11FrameSource::releaseSegment()
{
    if (!m_address)
        return;
    if (m_connection && !xcb_connection_has_error(m_connection))
        xcb_shm_detach(m_connection, m_segment);
    ::shmdt(m_address);
    m_address = nullptr;
    m_shm = false;
}

void X11FrameSource::end()
{
    if (!m_connection)
        return;
    releaseSegment();
    if (m_damageOk && !xcb_connection_has_error(m_connection))
        xcb_damage_destroy(m_connection, m_damage);
    m_damageOk = false;
    xcb_disconnect(m_connection);
    m_connection = nullptr;
    m_screen = QImage();
}

bool X11FrameSource::takeDamage()
{
    bool changed = false;
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
        if ((event->response_type & 0x7f) == m_damageEvent + XCB_DAMAGE_NOTIFY) {
            const auto *notify = reinterpret_cast<xcb_damage_notify_event_t *>(event);
            const QRect damaged(notify->area.x, notify->area.y, notify->area.width, notify->area.height);
            if (damaged.intersects(m_area))
                changed = true;
        }
        std::free(event);
    }
    if (changed)
        xcb_damage_subtract(m_connection, m_damage, XCB_NONE, XCB_NONE);
    return changed;
}

Result<Done> X11FrameSource::readArea()
{
    const QRect &r = m_area;
    if (m_screen.size() != r.size())
        m_screen = QImage(r.size(), QImage::Format_RGB32);
    if (m_screen.isNull())
        return Error{QStringLiteral("Mémoire insuffisante pour enregistrer l'écran.")};
    const size_t row = size_t(r.width()) * 4;
    xcb_generic_error_t *error = nullptr;
    if (m_shm) {
        xcb_shm_get_image_reply_t *reply = xcb_shm_get_image_reply(
            m_connection,
            xcb_shm_get_image(m_connection, m_root, int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()),
                              uint16_t(r.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, m_segment, 0),
            &error);
        if (reply) {
            std::free(reply);
            const auto *source = static_cast<const uchar *>(m_address);
            for (int y = 0; y < r.height(); ++y)
                copyOpaque(m_screen.scanLine(y), source + size_t(y) * row, r.width());
            return Done{};
        }
        std::free(error);
        // The server refused the segment: the plain request still works.
        releaseSegment();
    }
    xcb_get_image_reply_t *reply =
        xcb_get_image_reply(m_connection,
                            xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, int16_t(r.x()),
                                          int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height()), ~0u),
                            &error);
    std::free(error);
    if (!reply || size_t(xcb_get_image_data_length(reply)) < row * size_t(r.height())) {
        std::free(reply);
        return screenGone();
    }
    const uint8_t *source = xcb_get_image_data(reply);
    for (int y = 0; y < r.height(); ++y)
        copyOpaque(m_screen.scanLine(y), source + size_t(y) * row, r.width());
    std::free(reply);
    return Done{};
}

Result<std::optional<QImage>> X11FrameSource::grab()
{
    if (!m_connection || xcb_connection_has_error(m_connection))
        return screenGone();
    const bool damaged = !m_damageOk || takeDamage();
    bool changed = m_first || damaged;
    if (m_first || damaged) {
        const Result<Done> read = readArea();
        if (!read)
            return read.error();
    }
    m_first = false;
    if (!m_pointer || !m_xfixes)
        return changed ? std::optional<QImage>(m_screen) : std::optional<QImage>();

    xcb_xfixes_get_cursor_image_reply_t *cursor =
        xcb_xfixes_get_cursor_image_reply(m_connection, xcb_xfixes_get_cursor_image(m_connection), nullptr);
    if (!cursor)
        return changed ? std::optional<QImage>(m_screen) : std::optional<QImage>();
    const QRect place(cursor->x - cursor->xhot, cursor->y - cursor->yhot, cursor->width, cursor->height);
    const bool shown = place.intersects(m_area);
    const bool moved =
        cursor->x != m_pointerX || cursor->y != m_pointerY || cursor->cursor_serial != m_pointerSerial;
    // A pointer that moved within the area, came in or left changes the frame.
    if (moved && (shown || m_pointerShown))
        changed = true;
    m_pointerX = cursor->x;
    m_pointerY = cursor->y;
    m_pointerSerial = cursor->cursor_serial;
    m_pointerShown = shown;
    if (!changed) {
        std::free(cursor);
        return std::optional<QImage>();
    }
    QImage frame = m_screen.copy();
    if (shown && cursor->width > 0 && cursor->height > 0) {
        // XFixes gives the pointer as premultiplied ARGB.
        const QImage pointer(
            reinterpret_cast<const uchar *>(xcb_xfixes_get_cursor_image_cursor_image(cursor)), cursor->width,
            cursor->height, cursor->width * 4, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&frame);
        painter.drawImage(place.topLeft() - m_area.topLeft(), pointer);
    }
    std::free(cursor);
    return std::optional<QImage>(frame);
}
