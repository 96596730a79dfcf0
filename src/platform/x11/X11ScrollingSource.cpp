// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11ScrollingSource.h"

#include "platform/x11/X11ScreenCapturer.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

X11ScrollingSource::X11ScrollingSource(X11ScreenCapturer &reader, const QByteArray &display)
    : m_reader(reader)
{
    m_display = XOpenDisplay(display.isEmpty() ? nullptr : display.constData());
    if (!m_display)
        return;
    int event = 0, error = 0, major = 0, minor = 0;
    m_xtest = XTestQueryExtension(m_display, &event, &error, &major, &minor);
}

X11ScrollingSource::~X11ScrollingSource()
{
    if (m_display)
        XCloseDisplay(m_display);
}

QString X11ScrollingSource::unavailableReason() const
{
    if (!m_display)
        return QStringLiteral("Le serveur X n'a pas pu être joint.");
    if (!m_xtest)
        return QStringLiteral("Le serveur X n'offre pas l'extension XTest, qui fait défiler les fenêtres.");
    return {};
}

bool X11ScrollingSource::scroll(const QPoint &point, int clicks)
{
    if (!m_display || !m_xtest)
        return false;
    XTestFakeMotionEvent(m_display, -1, point.x(), point.y(), CurrentTime);
    for (int i = 0; i < clicks; ++i) {
        XTestFakeButtonEvent(m_display, 5, True, CurrentTime); // the wheel, down
        XTestFakeButtonEvent(m_display, 5, False, CurrentTime);
    }
    XSync(m_display, False);
    return true;
}

Result<QImage> X11ScrollingSource::readArea(const QRect &rect)
{
    return m_reader.grabRootRect(rect);
}

std::optional<QPoint> X11ScrollingSource::pointer()
{
    return m_reader.nativePointer();
}

void X11ScrollingSource::movePointer(const QPoint &point)
{
    if (!m_display || !m_xtest)
        return;
    XTestFakeMotionEvent(m_display, -1, point.x(), point.y(), CurrentTime);
    XSync(m_display, False);
}
