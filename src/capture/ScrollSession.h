// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/ScrollPanel.h"
#include "capture/ScrollingSource.h"
#include "imagetools/ScrollStitcher.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

// One scrolling capture once its area is chosen: turns the wheel over the area, waits until the program
// has drawn the step (two reads that agree), stitches the new rows on, and goes on until the page ends
// (nothing changes after two steps), the picture reaches the size limit, a frame no longer continues the
// page (it ends there, and the panel says so), or the person stops it.
class ScrollSession : public QObject {
    Q_OBJECT
public:
    // `area` in root pixels, `logicalArea` the same in global logical coordinates (for the panel), `first`
    // the area as it is now.
    ScrollSession(ScrollingSource &source, const QRect &area, const QRect &logicalArea, const QRect &screen,
                  const QImage &first);
    ~ScrollSession() override;

    // The stitched picture, once, when the session ends.
    std::function<void(const QImage &picture)> onFinished;

    void start();
    // Ends now with what has been stitched.
    void stop();

    ScrollPanel &panel() { return m_panel; }
    const ScrollStitcher &stitcher() const { return m_stitcher; }
    int steps() const { return m_steps; }

    // How long a step waits at most for the program to draw, and how long for anything to change at all.
    static constexpr int drawLimitMilliseconds = 1500;
    static constexpr int quietMilliseconds = 250;

private:
    void step();
    void poll();
    void process(const QImage &frame);
    void endWith(const QString &message);
    void finish();

    ScrollingSource &m_source;
    QRect m_area;
    ScrollStitcher m_stitcher;
    ScrollPanel m_panel;
    QTimer m_timer;
    QElapsedTimer m_stepClock;
    QImage m_previousRead;
    QImage m_lastFrame;
    std::optional<QPoint> m_pointerWas;
    int m_clicks = 3;
    int m_unchanged = 0;
    int m_steps = 0;
    bool m_done = false;
};
