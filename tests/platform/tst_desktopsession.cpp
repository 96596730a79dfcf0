// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopSession.h"

#include <QTest>

using DesktopSession::Kind;

class TestDesktopSession : public QObject {
    Q_OBJECT
private slots:
    void detect_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("waylandDisplay");
        QTest::addColumn<QString>("sessionType");
        QTest::addColumn<int>("kind");
        QTest::newRow("X11") << "xcb"
                             << ""
                             << "x11" << int(Kind::X11);
        QTest::newRow("X11, no session type") << "xcb"
                                              << ""
                                              << "" << int(Kind::X11);
        QTest::newRow("Wayland") << "wayland"
                                 << "wayland-1"
                                 << "wayland" << int(Kind::Wayland);
        QTest::newRow("Wayland with the EGL plug-in") << "wayland-egl"
                                                      << "wayland-0"
                                                      << "" << int(Kind::Wayland);
        // Qt forced onto xcb in a Wayland session talks to XWayland: still the portals.
        QTest::newRow("XWayland by display") << "xcb"
                                             << "wayland-0"
                                             << "" << int(Kind::Wayland);
        QTest::newRow("XWayland by session type") << "xcb"
                                                  << ""
                                                  << "Wayland" << int(Kind::Wayland);
        QTest::newRow("offscreen") << "offscreen"
                                   << "wayland-0"
                                   << "wayland" << int(Kind::None);
        QTest::newRow("minimal") << "minimal"
                                 << ""
                                 << "" << int(Kind::None);
    }
    void detect()
    {
        QFETCH(QString, platform);
        QFETCH(QString, waylandDisplay);
        QFETCH(QString, sessionType);
        QFETCH(int, kind);
        QCOMPARE(int(DesktopSession::detect(platform, waylandDisplay, sessionType)), kind);
    }
};

QTEST_GUILESS_MAIN(TestDesktopSession)
#include "tst_desktopsession.moc"
