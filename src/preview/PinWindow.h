// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QMenu;

// A capture pinned on the screen: a frameless window above the others showing the picture at its size in
// points (its pixels one for one at its scale), with a thin border and, where a compositor draws translucent
// windows, a soft shadow. A drag moves it, the wheel zooms it (25 % to 400 %), Ctrl+wheel changes its
// opacity, Escape or a double-click closes it; its context menu copies the picture, saves it elsewhere, opens
// it in the editor or closes the pin. Any number at once.
class PinWindow : public QWidget {
    Q_OBJECT
public:
    // A new pin, shown centred on `around` (global logical coordinates) or, without it, on the screen
    // under the pointer. A picture larger than four fifths of the screen starts zoomed out to fit.
    static PinWindow *open(const QImage &image, double scale, const QString &path = QString(),
                           std::optional<QPoint> around = std::nullopt);
    // The pins on screen, oldest first.
    static QList<PinWindow *> all();

    // Set by the app: opens a picture in an editor window.
    static inline std::function<void(const QImage &image, double scale, const QString &path)> openEditor;
    // Asks where to save (a path, or empty to cancel); tests replace it. By default a file dialog.
    std::function<QString(const QString &suggested)> askSavePath;

    double zoom() const { return m_zoom; }
    void setZoom(double zoom);
    void setOpacityLevel(double opacity);
    const QImage &image() const { return m_image; }
    QString path() const { return m_path; }
    // The size the picture is shown at, in points (the window adds the border).
    QSize pictureSize() const;
    // The context menu's actions, in order (for tests).
    QMenu *contextMenu();

    void copyImage();
    // Writes the picture where the person says; the format follows the name (PNG when it has none).
    // The error's text, or empty when saved or cancelled.
    QString saveAs();
    void openInEditor();

    static constexpr double minimumZoom = 0.25, maximumZoom = 4.0;
    static constexpr int border = 1;
    // The shadow around the border where a compositor draws it, else 0.
    int shadow() const { return m_shadow; }
    static constexpr int shadowWidth = 12;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    PinWindow(const QImage &image, double scale, const QString &path);
    void fitWindow();

    QImage m_image;
    double m_scale;
    QString m_path;
    double m_zoom = 1;
    std::optional<QPoint> m_grab; // where in the window a move started
    QMenu *m_menu = nullptr;
    int m_shadow = 0;
};
