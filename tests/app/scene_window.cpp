// SPDX-License-Identifier: GPL-3.0-or-later
// Shows a drawn desktop (dark or light) over the whole screen, for the search end-to-end test; once it
// has painted the picture and handed it to the X server, it writes READY_FILE:
//   scene_window dark|light READY_FILE
#include "support/DesktopScene.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QTimer>

namespace {

class SceneWindow : public QLabel {
public:
    explicit SceneWindow(QString readyFile) : m_readyFile(std::move(readyFile)) {}

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QLabel::paintEvent(event);
        if (m_told)
            return;
        m_told = true;
        // After this paint has been flushed to the window.
        QTimer::singleShot(0, this, [this] {
            QFile ready(m_readyFile);
            if (ready.open(QIODevice::WriteOnly))
                ready.write("painted\n");
        });
    }

private:
    QString m_readyFile;
    bool m_told = false;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString name = QString::fromLocal8Bit(argv[1]);
    const DesktopScene::Scene scene =
        name == QLatin1String("light") ? DesktopScene::light() : DesktopScene::dark();
    SceneWindow window(QString::fromLocal8Bit(argv[2]));
    window.setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    window.setWindowTitle(QStringLiteral("scene"));
    window.setPixmap(QPixmap::fromImage(DesktopScene::render(scene, 1)));
    window.setGeometry(QGuiApplication::primaryScreen()->geometry());
    window.show();
    window.raise();
    return app.exec();
}
