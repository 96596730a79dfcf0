// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace Bench {

// Median wall time of several runs, in milliseconds.
inline double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

inline void print(const char *name, double value, const char *unit)
{
    std::printf("%s %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

// A desktop-like picture: title bars, side bar, lines of text, buttons and a gradient wallpaper. No
// noise: real screenshots compress, and the figures must say how ours do.
inline QImage screenshotLike(int width, int height, qreal scale = 1)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    QLinearGradient wallpaper(0, 0, width, height);
    wallpaper.setColorAt(0, QColor(38, 70, 120));
    wallpaper.setColorAt(1, QColor(160, 90, 140));
    p.fillRect(image.rect(), wallpaper);
    p.scale(scale, scale);
    const int w = int(width / scale), h = int(height / scale);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    p.setFont(font);
    int line = 0;
    for (int window = 0; window < 3; ++window) {
        const QRect frame(40 + window * w / 4, 40 + window * h / 6, w / 2, h / 2);
        p.fillRect(frame, QColor(250, 250, 250));
        p.fillRect(QRect(frame.topLeft(), QSize(frame.width(), 28)), QColor(228, 228, 232));
        p.fillRect(QRect(frame.left(), frame.top() + 28, 180, frame.height() - 28), QColor(240, 240, 244));
        p.setPen(QColor(40, 40, 40));
        p.drawText(frame.adjusted(10, 6, 0, 0), QStringLiteral("Document %1 — Éditeur").arg(window + 1));
        for (int y = frame.top() + 50; y < frame.bottom() - 20; y += 18) {
            ++line;
            p.drawText(QPoint(frame.left() + 196, y),
                       QStringLiteral("Ligne %1 : le rapport trimestriel montre une hausse de %2 %.")
                           .arg(line)
                           .arg(line % 97));
            if (line % 7 == 0)
                p.drawText(QPoint(frame.left() + 12, y), QStringLiteral("Dossier %1").arg(line));
        }
        p.setBrush(QColor(0, 122, 255));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRect(frame.right() - 110, frame.bottom() - 40, 90, 26), 6, 6);
        p.setBrush(Qt::NoBrush);
    }
    p.end();
    return image;
}

} // namespace Bench
