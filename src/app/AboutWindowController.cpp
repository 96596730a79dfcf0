// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AboutWindowController.h"

#include "app/Brand.h"
#include "app/BrandWindow.h"
#include "common/WindowKeys.h"
#include "common/WindowPlacement.h"

#include <QVBoxLayout>

AboutWindowController::AboutWindowController() : QWidget(nullptr, Qt::Window)
{
    WindowKeys::closeOnEscape(this);
    BrandWindow::style(this, 320);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 28, 24, 24);
    layout->setSpacing(10);
    layout->addWidget(BrandWindow::icon(64), 0, Qt::AlignHCenter);
    QLabel *name = BrandWindow::label(QStringLiteral("Pim"), 22, Brand::foreground, QFont::Bold);
    name->setAlignment(Qt::AlignHCenter);
    layout->addWidget(name);
    m_version = BrandWindow::label(QStringLiteral("Version ") + Brand::version(), 11, Brand::faint);
    m_version->setAlignment(Qt::AlignHCenter);
    layout->addWidget(m_version);
    layout->addWidget(BrandWindow::divider());
    QLabel *credit = BrandWindow::label(QStringLiteral("Capture d'écran et annotation pour le bureau Linux."),
                                        11, Brand::muted);
    credit->setAlignment(Qt::AlignHCenter);
    layout->addWidget(credit);
}

void AboutWindowController::showWindow()
{
    WindowPlacement::centerOnActiveScreen(this);
    show();
    raise();
    activateWindow();
}
