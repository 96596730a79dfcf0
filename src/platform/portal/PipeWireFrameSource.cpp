// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/portal/PipeWireFrameSource.h"

#include "capture/CaptureGeometry.h"
#include "common/Log.h"
#include "platform/portal/PortalRequest.h"
#include "platform/portal/PortalTypes.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QScreen>

#include <fcntl.h>
#include <unistd.h>

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

namespace {

const QString screenCastInterface = QStringLiteral("org.freedesktop.portal.ScreenCast");

// Types of source and pointer modes, as the portal numbers them.
constexpr uint monitorSource = 1;
constexpr uint pointerHidden = 1, pointerEmbedded = 2;
// Kept until the person revokes it.
constexpr uint persistUntilRevoked = 2;

QString sessionPath(const QVariant &value)
{
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

Error portalFailure(const Portal::Answer &answer, const QString &what)
{
    switch (Portal::outcome(answer)) {
    case Portal::Outcome::Timeout: return Error{QStringLiteral("Le bureau n'a pas répondu (%1).").arg(what)};
    case Portal::Outcome::NoPortal:
        return Error{QStringLiteral("Aucun portail de bureau (xdg-desktop-portal) ne répond.")};
    case Portal::Outcome::NoInterface:
        return Error{
            QStringLiteral("Le bureau ne permet pas d'enregistrer l'écran (pas de portail ScreenCast).")};
    case Portal::Outcome::Cancelled:
        return Error{QStringLiteral("L'enregistrement de l'écran a été refusé.")};
    case Portal::Outcome::CallError:
        return Error{QStringLiteral("Le bureau a refusé l'enregistrement (%1).").arg(answer.errorMessage)};
    case Portal::Outcome::Success:
    case Portal::Outcome::Failed: break;
    }
    return Error{QStringLiteral("Le bureau n'a pas pu partager l'écran (%1).").arg(what)};
}

PipeWireFrameSource *owner(void *data)
{
    return static_cast<PipeWireFrameSource *>(data);
}

void onParamChanged(void *data, uint32_t id, const spa_pod *param)
{
    if (!param || id != SPA_PARAM_Format)
        return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0)
        return;
    const bool rgb = info.format == SPA_VIDEO_FORMAT_RGBx || info.format == SPA_VIDEO_FORMAT_RGBA;
    owner(data)->formatChanged(int(info.size.width), int(info.size.height), rgb);
}

void onProcess(void *data);

void onStateChanged(void *data, pw_stream_state, pw_stream_state state, const char *error)
{
    if (state == PW_STREAM_STATE_ERROR)
        owner(data)->streamFailed(QString::fromUtf8(error ? error : "erreur du flux"));
    else if (state == PW_STREAM_STATE_UNCONNECTED)
        owner(data)->streamFailed(QStringLiteral("le flux de l'écran s'est arrêté"));
}

const pw_stream_events streamEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = onStateChanged;
    events.param_changed = onParamChanged;
    events.process = onProcess;
    return events;
}();

struct Listener {
    spa_hook hook{};
    pw_stream *stream = nullptr;
};

} // namespace

namespace {
void onProcess(void *data)
{
    owner(data)->processFrame();
}
} // namespace

void PipeWireFrameSource::processFrame()
{
    // Only the newest picture counts: older ones waiting are given back at once.
    pw_buffer *newest = nullptr;
    while (pw_buffer *next = pw_stream_dequeue_buffer(m_stream)) {
        if (newest)
            pw_stream_queue_buffer(m_stream, newest);
        newest = next;
    }
    if (!newest)
        return;
    const spa_buffer *buffer = newest->buffer;
    if (buffer && buffer->n_datas > 0 && buffer->datas[0].data && buffer->datas[0].chunk) {
        const spa_data &plane = buffer->datas[0];
        const spa_chunk *chunk = plane.chunk;
        // A chunk marked corrupted, or empty, holds no new picture.
        if (chunk->size > 0 && !(chunk->flags & SPA_CHUNK_FLAG_CORRUPTED)) {
            const uint32_t offset = std::min(chunk->offset, plane.maxsize);
            const int stride = chunk->stride > 0 ? chunk->stride : m_size.width() * 4;
            frameArrived(static_cast<const uchar *>(plane.data) + offset, stride,
                         qsizetype(std::min(chunk->size, plane.maxsize - offset)));
        }
    }
    pw_stream_queue_buffer(m_stream, newest);
}

PipeWireFrameSource::PipeWireFrameSource(const QDBusConnection &bus, TokenStore tokens, int timeoutMs)
    : m_bus(bus), m_tokens(std::move(tokens)), m_timeout(timeoutMs)
{
    Portal::registerTypes();
}

PipeWireFrameSource::~PipeWireFrameSource()
{
    end();
    if (m_fd >= 0)
        ::close(m_fd);
    closeSession();
}

QString PipeWireFrameSource::unavailableReason() const
{
    return QString();
}

void PipeWireFrameSource::prepare(QScreen *screen, bool pointer,
                                  std::function<void(const Result<Done> &)> done)
{
    m_screenNative = CaptureGeometry::nativeScreenRect(screen->geometry(), screen->devicePixelRatio());
    m_screenLogical = screen->geometry();
    QPointer<QObject> alive(&m_context);
    Portal::request(
        m_bus, Portal::serviceName(), screenCastInterface, QStringLiteral("CreateSession"), {},
        {{QStringLiteral("session_handle_token"), Portal::newToken()}}, m_timeout, &m_context,
        [this, pointer, done](const Portal::Answer &answer) {
            const QString session = sessionPath(answer.results.value(QStringLiteral("session_handle")));
            if (!answer.ok() || session.isEmpty()) {
                done(portalFailure(answer, QStringLiteral("création de la session")));
                return;
            }
            m_session = session;
            m_watcher.onClosed = [this] {
                m_session.clear();
                streamFailed(QStringLiteral("Le bureau a arrêté le partage de l'écran."));
            };
            m_bus.connect(Portal::serviceName(), session, QStringLiteral("org.freedesktop.portal.Session"),
                          QStringLiteral("Closed"), &m_watcher, SLOT(closed()));
            selectSources(session, pointer, done);
        });
}

void PipeWireFrameSource::selectSources(const QString &session, bool pointer,
                                        std::function<void(const Result<Done> &)> done)
{
    QVariantMap options{{QStringLiteral("types"), monitorSource},
                        {QStringLiteral("multiple"), false},
                        {QStringLiteral("cursor_mode"), pointer ? pointerEmbedded : pointerHidden},
                        {QStringLiteral("persist_mode"), persistUntilRevoked}};
    const QString token = m_tokens.load ? m_tokens.load() : QString();
    if (!token.isEmpty())
        options.insert(QStringLiteral("restore_token"), token);
    Portal::request(m_bus, Portal::serviceName(), screenCastInterface, QStringLiteral("SelectSources"),
                    {QVariant::fromValue(QDBusObjectPath(session))}, options, m_timeout, &m_context,
                    [this, done](const Portal::Answer &answer) {
                        if (!answer.ok()) {
                            done(portalFailure(answer, QStringLiteral("choix de l'écran")));
                            return;
                        }
                        startSession(done);
                    });
}

void PipeWireFrameSource::startSession(std::function<void(const Result<Done> &)> done)
{
    Portal::request(
        m_bus, Portal::serviceName(), screenCastInterface, QStringLiteral("Start"),
        {QVariant::fromValue(QDBusObjectPath(m_session)), QString()}, {}, m_timeout, &m_context,
        [this, done](const Portal::Answer &answer) {
            if (!answer.ok()) {
                done(portalFailure(answer, QStringLiteral("partage de l'écran")));
                return;
            }
            const QString token = answer.results.value(QStringLiteral("restore_token")).toString();
            if (!token.isEmpty() && m_tokens.save)
                m_tokens.save(token);
            // a(ua{sv}): each stream's PipeWire node and its properties.
            const QDBusArgument streams =
                answer.results.value(QStringLiteral("streams")).value<QDBusArgument>();
            bool found = false;
            streams.beginArray();
            while (!streams.atEnd()) {
                uint node = 0;
                QVariantMap properties;
                streams.beginStructure();
                streams >> node >> properties;
                streams.endStructure();
                if (found)
                    continue;
                found = true;
                m_node = node;
                const QDBusArgument position =
                    properties.value(QStringLiteral("position")).value<QDBusArgument>();
                const QDBusArgument size = properties.value(QStringLiteral("size")).value<QDBusArgument>();
                int x = 0, y = 0, w = 0, h = 0;
                if (position.currentType() == QDBusArgument::StructureType) {
                    position.beginStructure();
                    position >> x >> y;
                    position.endStructure();
                }
                if (size.currentType() == QDBusArgument::StructureType) {
                    size.beginStructure();
                    size >> w >> h;
                    size.endStructure();
                }
                m_streamLogical = QRect(x, y, w, h);
            }
            streams.endArray();
            if (!found) {
                done(Error{QStringLiteral("Le bureau n'a partagé aucun écran.")});
                return;
            }
            // Another monitor than the one to record: its pictures would not hold the area.
            if (m_streamLogical.isValid() && m_streamLogical.topLeft() != m_screenLogical.topLeft()) {
                done(Error{
                    QStringLiteral("Le bureau a partagé un autre écran (à %1, %2) que celui à enregistrer "
                                   "(à %3, %4).")
                        .arg(m_streamLogical.x())
                        .arg(m_streamLogical.y())
                        .arg(m_screenLogical.x())
                        .arg(m_screenLogical.y())});
                return;
            }
            done(openRemote());
        });
}

Result<Done> PipeWireFrameSource::openRemote()
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(Portal::serviceName(), Portal::objectPath(), screenCastInterface,
                                       QStringLiteral("OpenPipeWireRemote"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap();
    const QDBusReply<QDBusUnixFileDescriptor> reply = m_bus.call(call, QDBus::Block, m_timeout);
    if (!reply.isValid() || !reply.value().isValid())
        return Error{
            QStringLiteral("Le flux de l'écran n'a pas pu être ouvert (%1).").arg(reply.error().message())};
    m_fd = ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 3);
    if (m_fd < 0)
        return Error{QStringLiteral("Le flux de l'écran n'a pas pu être ouvert.")};
    return Done{};
}

void PipeWireFrameSource::closeSession()
{
    if (m_session.isEmpty())
        return;
    m_bus.call(QDBusMessage::createMethodCall(Portal::serviceName(), m_session,
                                              QStringLiteral("org.freedesktop.portal.Session"),
                                              QStringLiteral("Close")),
               QDBus::NoBlock);
    m_session.clear();
}

Result<Done> PipeWireFrameSource::begin(const QRect &area, bool)
{
    if (m_fd < 0)
        return Error{QStringLiteral("Aucun écran partagé par le bureau.")};
    m_area = area.translated(-m_screenNative.topLeft());
    pw_init(nullptr, nullptr);
    m_loop = pw_thread_loop_new("pim-recording", nullptr);
    if (!m_loop)
        return Error{QStringLiteral("PipeWire n'a pas démarré.")};
    m_pwContext = pw_context_new(pw_thread_loop_get_loop(m_loop), nullptr, 0);
    if (!m_pwContext || pw_thread_loop_start(m_loop) < 0)
        return Error{QStringLiteral("PipeWire n'a pas démarré.")};
    pw_thread_loop_lock(m_loop);
    const int fd = m_fd;
    m_fd = -1; // PipeWire owns it now
    m_core = pw_context_connect_fd(m_pwContext, fd, nullptr, 0);
    if (!m_core) {
        pw_thread_loop_unlock(m_loop);
        return Error{QStringLiteral("Le flux de l'écran n'a pas pu être joint (PipeWire).")};
    }
    m_stream = pw_stream_new(m_core, "Pim",
                             pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                               PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    auto *listener = new Listener;
    listener->stream = m_stream;
    m_listener = listener;
    pw_stream_add_listener(m_stream, &listener->hook, &streamEvents, this);
    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_rectangle wanted =
        SPA_RECTANGLE(uint32_t(m_screenNative.width()), uint32_t(m_screenNative.height()));
    const spa_rectangle smallest = SPA_RECTANGLE(1, 1), largest = SPA_RECTANGLE(16384, 16384);
    const spa_fraction rate = SPA_FRACTION(60, 1), slowest = SPA_FRACTION(0, 1),
                       fastest = SPA_FRACTION(1000, 1);
    const spa_pod *params[1];
    params[0] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&wanted, &smallest, &largest),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &fastest)));
    const int connected = pw_stream_connect(
        m_stream, PW_DIRECTION_INPUT, m_node,
        pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
    pw_thread_loop_unlock(m_loop);
    if (connected < 0)
        return Error{QStringLiteral("Le flux de l'écran n'a pas pu être joint (%1).")
                         .arg(QString::fromLocal8Bit(strerror(-connected)))};
    return Done{};
}

void PipeWireFrameSource::formatChanged(int width, int height, bool rgbOrder)
{
    {
        std::lock_guard lock(m_mutex);
        m_size = QSize(width, height);
        m_rgbOrder = rgbOrder;
    }
    // Buffers the process can read: plain memory or a shared file, mapped by PipeWire.
    uint8_t buffer[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod *params[1];
    params[0] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
    pw_stream_update_params(m_stream, params, 1);
}

void PipeWireFrameSource::frameArrived(const uchar *data, int stride, qsizetype size)
{
    std::lock_guard lock(m_mutex);
    if (m_size.isEmpty() || stride < m_size.width() * 4 || size < qsizetype(stride) * m_size.height())
        return;
    if (m_latest.size() != m_size || !m_latest.isDetached())
        m_latest = QImage(m_size, QImage::Format_RGB32);
    if (m_latest.isNull())
        return;
    for (int y = 0; y < m_size.height(); ++y) {
        const auto *in = reinterpret_cast<const quint32 *>(data + qsizetype(y) * stride);
        auto *out = reinterpret_cast<quint32 *>(m_latest.scanLine(y));
        if (m_rgbOrder) {
            for (int x = 0; x < m_size.width(); ++x) {
                const quint32 p = in[x]; // R G B X in memory
                out[x] = 0xff000000u | (p & 0xff) << 16 | (p & 0xff00) | (p >> 16 & 0xff);
            }
        } else {
            for (int x = 0; x < m_size.width(); ++x)
                out[x] = in[x] | 0xff000000u;
        }
    }
    ++m_serial;
}

void PipeWireFrameSource::streamFailed(const QString &reason)
{
    std::lock_guard lock(m_mutex);
    // Before the first frame a stream goes through "unconnected" on its way up.
    if (m_serial > 0 || reason != QStringLiteral("le flux de l'écran s'est arrêté"))
        m_failure = reason;
}

Result<std::optional<QImage>> PipeWireFrameSource::grab()
{
    std::lock_guard lock(m_mutex);
    if (!m_failure.isEmpty())
        return Error{m_failure};
    if (m_serial == m_given || m_latest.isNull())
        return std::optional<QImage>();
    m_given = m_serial;
    // The stream is the monitor in its pixels; the area is cut from it, scaled if the desktop sends
    // another size than the screen's.
    QRect area = m_area;
    if (m_latest.size() != m_screenNative.size() && !m_screenNative.isEmpty()) {
        const double sx = double(m_latest.width()) / m_screenNative.width();
        const double sy = double(m_latest.height()) / m_screenNative.height();
        area = QRect(int(area.x() * sx), int(area.y() * sy), int(area.width() * sx), int(area.height() * sy));
        return std::optional<QImage>(m_latest.copy(area).scaled(m_area.size()));
    }
    return std::optional<QImage>(m_latest.copy(area));
}

void PipeWireFrameSource::end()
{
    if (m_loop)
        pw_thread_loop_stop(m_loop);
    if (m_stream)
        pw_stream_destroy(m_stream);
    m_stream = nullptr;
    delete static_cast<Listener *>(m_listener);
    m_listener = nullptr;
    if (m_core)
        pw_core_disconnect(m_core);
    m_core = nullptr;
    if (m_pwContext)
        pw_context_destroy(m_pwContext);
    m_pwContext = nullptr;
    if (m_loop)
        pw_thread_loop_destroy(m_loop);
    m_loop = nullptr;
}
