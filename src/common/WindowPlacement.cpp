// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/WindowPlacement.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace WindowPlacement {

void centerOnActiveScreen(QWidget *window)
{
    QScreen *screen = nullptr;
    for (QScreen *candidate : QGuiApplication::screens()) {
        if (candidate->geometry().contains(QCursor::pos())) {
            screen = candidate;
            break;
        }
    }
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // A window given its size keeps it; the others take the size their content asks for.
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    const QRect visible = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    window->move(visible.x() + (visible.width() - size.width()) / 2,
                 visible.y() + (visible.height() - size.height()) / 2);
}

namespace {
bool compositorPlaces = false;
bool (*compositingProbe)() = nullptr;
} // namespace

void setCompositingProbe(bool (*probe)())
{
    compositingProbe = probe;
}

bool compositing()
{
    return compositingProbe && compositingProbe();
}

void setCompositorPlacesWindows(bool placesWindows)
{
    compositorPlaces = placesWindows;
}

bool compositorPlacesWindows()
{
    return compositorPlaces;
}

void coverScreen(QWidget *window, QScreen *screen)
{
    window->winId();
    window->windowHandle()->setScreen(screen);
    window->setGeometry(screen->geometry());
    if (compositorPlaces)
        window->showFullScreen();
    else
        window->show();
}

} // namespace WindowPlacement
