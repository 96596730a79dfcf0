// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

class PreviewView;
class QScreen;

// The floating thumbnail of the last capture, bottom-right on the screen it came from. It slides and fades
// in, goes by itself after 6 s, stays while hovered (2.5 s more after the pointer leaves), and never takes
// the keyboard from the program in front.
class PreviewPanel : public QWidget {
    Q_OBJECT
public:
    PreviewPanel(const QImage &image, double scale, const QString &filePath, QScreen *screen);

    std::function<void()> onOpenEditor;

    void present();
    void dismiss(bool animated);
    PreviewView *previewView() const { return m_view; }
    bool isDismissScheduled() const { return m_dismissTimer.isActive(); }
    int remainingBeforeDismiss() const { return m_dismissTimer.remainingTime(); }
    QRect finalGeometry() const { return m_finalGeometry; }

    // The panel's size for a capture of that many pixels at that scale: fitted into 280 × 200 points,
    // never enlarged, at least 90 × 64.
    static QSizeF panelSize(QSize pixelSize, double scale);
    // Its place: 20 points in from the right and bottom edges of the screen's available area.
    static QRectF panelFrame(QSizeF size, const QRect &availableGeometry);

    // Timings in milliseconds; tests shorten them.
    static inline int lifetime = 6000;
    static inline int lingerAfterHover = 2500;
    static inline int slideIn = 220;
    static inline int fadeOut = 250;

protected:
    // Once off the screen the panel goes, with its picture: nothing of the capture stays in memory.
    void hideEvent(QHideEvent *event) override;

private:
    void scheduleDismiss(int milliseconds);

    PreviewView *m_view;
    QTimer m_dismissTimer;
    QRect m_finalGeometry;
};

// Owns the one preview on screen.
class PreviewManager {
public:
    static PreviewManager &shared();

    void show(const QImage &image, double scale, const QString &filePath, QScreen *screen);
    // A recording: its first frame with its length; a click plays it, a drag carries the file out.
    void showRecording(const QImage &firstFrame, const QString &filePath, qint64 microseconds,
                       QScreen *screen);
    void dismissImmediately();
    PreviewPanel *panel() const { return m_panel; }

    // Wired by the app: opens the capture in an editor.
    std::function<void(const QImage &image, double scale, const QString &filePath)> openEditor;
    // Plays a recording; by default in the desktop's player for its type.
    std::function<void(const QString &filePath)> openRecording;

private:
    PreviewManager() = default;
    QPointer<PreviewPanel> m_panel;
};
