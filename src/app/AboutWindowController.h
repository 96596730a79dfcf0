// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;

// "À propos de Pim": the icon, the name and the version.
class AboutWindowController : public QWidget {
    Q_OBJECT
public:
    AboutWindowController();
    void showWindow();
    QLabel *versionLabel() const { return m_version; }

private:
    QLabel *m_version;
};
