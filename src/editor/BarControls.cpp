// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/BarControls.h"

#include "common/Icons.h"
#include "editor/EditorPalette.h"

#include <QFrame>
#include <QToolButton>

namespace BarControls {

QToolButton *iconButton(const QString &role, const QString &tooltip, QSize size)
{
    auto *button = new QToolButton;
    button->setObjectName(role);
    button->setProperty("iconRole", role);
    button->setAutoRaise(true);
    button->setIcon(Icons::icon(role, EditorPalette::secondaryLabel(button->palette())));
    button->setIconSize(QSize(18, 18));
    button->setFixedSize(size);
    button->setToolTip(tooltip);
    button->setAccessibleName(tooltip);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QFrame *verticalSeparator(int height)
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setFixedHeight(height);
    return line;
}

} // namespace BarControls
