// SPDX-License-Identifier: GPL-3.0-or-later
// A window for the recording bench: the whole screen repainted sixty times a second, like a video playing
// (a moving gradient, bouncing squares and a frame counter).
//   animation
#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cmath>

class Animation : public QWidget {
public:
    Animation()
    {
        setWindowTitle(QStringLiteral("Animation"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            ++m_frame;
            update();
        });
        m_timer.start(16);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const double t = m_frame / 60.0;
        QLinearGradient gradient(0, 0, width(), height());
        gradient.setColorAt(0, QColor::fromHsvF(std::fmod(t * 0.1, 1.0), 0.6, 0.8));
        gradient.setColorAt(1, QColor::fromHsvF(std::fmod(t * 0.1 + 0.5, 1.0), 0.6, 0.5));
        painter.fillRect(rect(), gradient);
        for (int i = 0; i < 12; ++i) {
            const double x = (std::sin(t * (0.7 + i * 0.13) + i) * 0.5 + 0.5) * (width() - 120);
            const double y = (std::cos(t * (0.9 + i * 0.11) + i * 2) * 0.5 + 0.5) * (height() - 120);
            painter.fillRect(QRectF(x, y, 120, 120), QColor::fromHsv((i * 30) % 360, 220, 230));
        }
        QFont font = painter.font();
        font.setPixelSize(64);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(rect(), Qt::AlignCenter, QString::number(m_frame));
    }

private:
    QTimer m_timer;
    int m_frame = 0;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Animation animation;
    animation.setGeometry(QGuiApplication::primaryScreen()->geometry());
    animation.show();
    return app.exec();
}
