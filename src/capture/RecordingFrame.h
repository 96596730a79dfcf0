// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRect>
#include <QWidget>

#include <memory>
#include <vector>

// A thin red frame just outside the area being recorded, never inside the picture: four slim windows
// above the others that take neither the keyboard nor the mouse.
class RecordingFrame {
public:
    // `area` in global logical coordinates.
    explicit RecordingFrame(const QRect &area);
    ~RecordingFrame();

    QList<QWidget *> windows() const;
    static constexpr int thickness = 2;
    // The four sides' places: above, below, left, right.
    static QList<QRect> sides(const QRect &area);

private:
    std::vector<std::unique_ptr<QWidget>> m_sides;
};
