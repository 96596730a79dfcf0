// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagetools/ColorPickerService.h"

#include "common/Log.h"
#include "common/WindowPlacement.h"

#include <QApplication>
#include <QClipboard>
#include <QColorSpace>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <cstdio>

namespace ColorPickerService {

namespace {

PointerLocator &locator()
{
    static PointerLocator instance;
    return instance;
}

// One screen's frozen picture with the loupe following the pointer.
class PickerWindow : public QWidget {
public:
    PickerWindow(QScreen *screen, const QImage &frozen)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::BypassWindowManagerHint),
          m_screen(screen), m_frozen(frozen)
    {
        m_ratio = screen->devicePixelRatio(); // the picture is drawn by pixel rectangles, never re-tagged
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
        setCursor(Qt::CrossCursor);
        setGeometry(screen->geometry());
    }

    std::function<void(QColor)> onPick;
    QScreen *screenShown() const { return m_screen; }

    // The native pixel under a point of this window.
    QPoint pixelAt(QPointF position) const
    {
        const int x = int(std::floor(position.x() * m_ratio));
        const int y = int(std::floor(position.y() * m_ratio));
        return QPoint(std::clamp(x, 0, m_frozen.width() - 1), std::clamp(y, 0, m_frozen.height() - 1));
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        const QRect dirty = event->rect();
        const QRect source(
            QPoint(int(dirty.x() * m_ratio), int(dirty.y() * m_ratio)),
            QSize(int(std::ceil(dirty.width() * m_ratio)), int(std::ceil(dirty.height() * m_ratio))));
        painter.drawImage(QRectF(dirty), m_frozen, source);
        if (!m_pointer)
            return;
        // The loupe: 15 × 15 native pixels magnified, the centre one outlined, the code below.
        const QPoint centre = pixelAt(*m_pointer);
        const QRectF box = loupeRect();
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(30, 30, 30));
        painter.drawRect(box.adjusted(-2, -2, 2, 22));
        const double cell = box.width() / loupeCells;
        for (int dy = 0; dy < loupeCells; ++dy) {
            for (int dx = 0; dx < loupeCells; ++dx) {
                const QPoint p = centre + QPoint(dx - loupeCells / 2, dy - loupeCells / 2);
                const QColor c = m_frozen.rect().contains(p) ? m_frozen.pixelColor(p) : QColor(0, 0, 0);
                painter.fillRect(QRectF(box.x() + dx * cell, box.y() + dy * cell, cell, cell), c);
            }
        }
        const QRectF middle(box.x() + (loupeCells / 2) * cell, box.y() + (loupeCells / 2) * cell, cell, cell);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(middle.adjusted(-1, -1, 0, 0));
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(middle.adjusted(-2, -2, 1, 1));
        painter.setPen(Qt::white);
        painter.drawText(QRectF(box.left(), box.bottom() + 2, box.width(), 18), Qt::AlignCenter,
                         hexCode(m_frozen.pixelColor(centre)));
    }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        const QRect before = m_pointer ? loupeRect().adjusted(-4, -4, 4, 26).toAlignedRect() : QRect();
        m_pointer = event->position();
        update(before.united(loupeRect().adjusted(-4, -4, 4, 26).toAlignedRect()));
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        QPoint pixel = pixelAt(event->position());
        if (const std::optional<QPoint> root = locator() ? locator()() : std::nullopt) {
            // Qt keeps a screen's native top-left: the root point minus it is the picture's pixel.
            const QPoint inside = *root - geometry().topLeft();
            if (m_frozen.rect().contains(inside))
                pixel = inside;
        }
        const QColor color = m_frozen.pixelColor(pixel);
        if (onPick)
            onPick(color);
    }

private:
    static constexpr int loupeCells = 15;

    QRectF loupeRect() const
    {
        const double size = 150;
        QPointF corner = *m_pointer + QPointF(20, 20);
        if (corner.x() + size > width())
            corner.setX(m_pointer->x() - 20 - size);
        if (corner.y() + size + 22 > height())
            corner.setY(m_pointer->y() - 20 - size - 22);
        return QRectF(corner, QSizeF(size, size));
    }

    QPointer<QScreen> m_screen;
    QImage m_frozen;
    double m_ratio = 1;
    std::optional<QPointF> m_pointer;
};

// The pick in progress: its windows and the Escape watch.
class Pick : public QObject {
public:
    std::function<void(const QString &)> onPicked;
    std::function<void()> onCancelled;
    QList<QPointer<PickerWindow>> windows;

    void finish(std::optional<QColor> color)
    {
        qApp->removeEventFilter(this);
        for (const QPointer<PickerWindow> &window : std::as_const(windows)) {
            if (window) {
                window->releaseKeyboard();
                window->hide();
                window->deleteLater();
            }
        }
        windows.clear();
        const auto callback = onPicked;
        const auto cancelled = onCancelled;
        deleteLater();
        current() = nullptr;
        if (!color || !color->isValid()) {
            if (cancelled)
                cancelled();
            return;
        }
        const QString code = hexCode(*color);
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
        QGuiApplication::clipboard()->setText(code, QClipboard::Clipboard);
        if (callback)
            callback(code);
    }

    static Pick *&current()
    {
        static Pick *pick = nullptr;
        return pick;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            finish(std::nullopt);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

ScreenGrabber &grabber()
{
    static ScreenGrabber instance;
    return instance;
}

} // namespace

void setPointerLocator(PointerLocator pointerLocator)
{
    locator() = std::move(pointerLocator);
}

void setScreenGrabber(ScreenGrabber screenGrabber)
{
    grabber() = std::move(screenGrabber);
}

bool isPicking()
{
    return Pick::current() != nullptr;
}

QList<QWidget *> pickerWindows()
{
    QList<QWidget *> list;
    if (Pick *pick = Pick::current()) {
        for (const QPointer<PickerWindow> &window : std::as_const(pick->windows)) {
            if (window)
                list << window.data();
        }
    }
    return list;
}

QString hexCode(const QColor &color)
{
    QColor srgb = color.toRgb();
    float r = 0, g = 0, b = 0;
    srgb.getRgbF(&r, &g, &b);
    const auto component = [](float v) { return int(std::round(double(v) * 255.0)); };
    return QString::asprintf("#%02X%02X%02X", component(r), component(g), component(b));
}

void pickAndCopyHex(std::function<void(const QString &)> onPicked, std::function<void()> onCancelled)
{
    if (isPicking() || !grabber()) {
        if (onCancelled)
            onCancelled();
        return;
    }
    auto *pick = new Pick;
    pick->onPicked = std::move(onPicked);
    pick->onCancelled = std::move(onCancelled);
    // The pick is under way from now: a second request is refused while the screens are read.
    Pick::current() = pick;
    const QList<QScreen *> screens = QGuiApplication::screens();
    QPointer<Pick> alive(pick);
    grabber()(screens, [alive, screens](const Result<QList<QImage>> &pictures) {
        if (!alive)
            return;
        Pick *pick = alive.data();
        if (!pictures) {
            qCWarning(logImageTools, "pipette : %s", qPrintable(pictures.error().message));
        } else {
            const QList<QScreen *> present = QGuiApplication::screens();
            for (int i = 0; i < screens.size() && i < pictures->size(); ++i) {
                if (!present.contains(screens[i]))
                    continue;
                auto *window = new PickerWindow(screens[i], pictures->at(i));
                window->onPick = [pick](QColor color) { pick->finish(color); };
                pick->windows << window;
            }
        }
        if (pick->windows.isEmpty()) {
            pick->finish(std::nullopt);
            return;
        }
        qApp->installEventFilter(pick);
        for (const QPointer<PickerWindow> &window : std::as_const(pick->windows)) {
            WindowPlacement::coverScreen(window, window->screenShown());
            window->raise();
            window->activateWindow();
        }
        pick->windows.first()->grabKeyboard();
    });
}

} // namespace ColorPickerService
