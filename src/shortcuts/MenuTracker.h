#pragma once

#include <QObject>

// Watches Pim's menus: while one is open it holds the keyboard, so the global grabs cannot fire. The
// tracker switches the shortcuts to menu-open mode and hands Pim's own key events to them instead.
class MenuTracker : public QObject {
    Q_OBJECT
public:
    static void install();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int m_openMenus = 0;
};
