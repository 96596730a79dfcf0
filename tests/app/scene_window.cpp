// SPDX-License-Identifier: GPL-3.0-or-later
// Shows a drawn desktop (dark or light) over the whole screen, for the search end-to-end test:
//   scene_window dark|light
#include "support/DesktopScene.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString name = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("dark");
    const DesktopScene::Scene scene =
        name == QLatin1String("light") ? DesktopScene::light() : DesktopScene::dark();
    QLabel window;
    window.setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    window.setWindowTitle(QStringLiteral("scene"));
    window.setPixmap(QPixmap::fromImage(DesktopScene::render(scene, 1)));
    window.setGeometry(QGuiApplication::primaryScreen()->geometry());
    window.show();
    window.raise();
    return app.exec();
}
