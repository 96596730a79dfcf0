// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/ScrollSession.h"

#include <algorithm>

ScrollSession::ScrollSession(ScrollingSource &source, const QRect &area, const QRect &logicalArea,
                             const QRect &screen, const QImage &first)
    : m_source(source), m_area(area), m_stitcher(first), m_lastFrame(first)
{
    m_timer.setSingleShot(true);
    m_panel.onStop = [this] { stop(); };
    // Beside the area where there is room, else in the screen's corner (over the area: Pim's own window
    // would then show in the picture, so it only says where to stop).
    if (!m_panel.placeBeside(logicalArea, screen))
        m_panel.move(screen.topLeft());
    m_panel.show();
    m_panel.raise();
    // Escape reaches it wherever the pointer is: the wheel needs no keyboard.
    m_panel.grabKeyboard();
}

ScrollSession::~ScrollSession() = default;

void ScrollSession::start()
{
    m_pointerWas = m_source.pointer();
    m_panel.showHeight(m_stitcher.height());
    step();
}

void ScrollSession::stop()
{
    finish();
}

void ScrollSession::step()
{
    if (m_done)
        return;
    if (!m_source.scroll(m_area.center(), m_clicks)) {
        endWith(QStringLiteral("Impossible de faire défiler la fenêtre."));
        return;
    }
    ++m_steps;
    m_previousRead = QImage();
    m_stepClock.start();
    m_timer.disconnect();
    connect(&m_timer, &QTimer::timeout, this, &ScrollSession::poll);
    m_timer.start(8);
}

void ScrollSession::poll()
{
    if (m_done)
        return;
    const Result<QImage> read = m_source.readArea(m_area);
    if (!read || read->size() != m_lastFrame.size()) {
        // The screen went, or changed size: what was stitched stays.
        endWith(QStringLiteral("L'écran a changé : la capture s'arrête là."));
        return;
    }
    const qint64 waited = m_stepClock.elapsed();
    // Drawn: two reads in a row agree, and they differ from the last frame, or nothing has changed for
    // a while (the end of the page, or a slow program).
    const bool steady = !m_previousRead.isNull() && *read == m_previousRead;
    const bool moved = *read != m_lastFrame;
    if ((steady && (moved || waited >= quietMilliseconds)) || waited >= drawLimitMilliseconds) {
        process(*read);
        return;
    }
    m_previousRead = *read;
    m_timer.start(moved ? 12 : 20);
}

void ScrollSession::process(const QImage &frame)
{
    const int clicks = m_clicks;
    switch (m_stitcher.add(frame)) {
    case ScrollStitcher::Step::added: {
        m_unchanged = 0;
        m_lastFrame = frame;
        m_panel.showHeight(m_stitcher.height());
        // The next step moves about half the area: enough overlap to find the seam for sure.
        const int body = frame.height() - m_stitcher.headerRows() - m_stitcher.footerRows();
        const double perClick = double(m_stitcher.lastShift()) / std::max(1, clicks);
        if (perClick > 0)
            m_clicks = std::clamp(int(body * 0.5 / perClick), 1, 40);
        step();
        return;
    }
    case ScrollStitcher::Step::unchanged:
        // Twice: a program that had not yet taken the first turn of the wheel gets a second one.
        if (++m_unchanged >= 2)
            finish();
        else
            step();
        return;
    case ScrollStitcher::Step::noMatch:
        endWith(QStringLiteral("La page a changé : la capture s'arrête là."));
        return;
    case ScrollStitcher::Step::limit: endWith(QStringLiteral("Taille maximale atteinte.")); return;
    }
}

void ScrollSession::endWith(const QString &message)
{
    if (m_done)
        return;
    m_panel.showMessage(message);
    if (m_pointerWas)
        m_source.movePointer(*m_pointerWas);
    m_pointerWas.reset();
    // The word stays a moment, then the capture goes on with what was stitched.
    m_timer.disconnect();
    connect(&m_timer, &QTimer::timeout, this, &ScrollSession::finish);
    m_timer.start(1200);
}

void ScrollSession::finish()
{
    if (m_done)
        return;
    m_done = true;
    m_timer.stop();
    if (m_pointerWas)
        m_source.movePointer(*m_pointerWas);
    m_panel.releaseKeyboard();
    m_panel.hide();
    if (onFinished)
        onFinished(m_stitcher.takeResult());
}
