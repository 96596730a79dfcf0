// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/WindowKeys.h"

#include <QShortcut>
#include <QWidget>

namespace WindowKeys {

void closeOnEscape(QWidget *window, std::function<bool()> first)
{
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    escape->setContext(Qt::WindowShortcut);
    QObject::connect(escape, &QShortcut::activated, window, [window, first = std::move(first)] {
        if (first && first())
            return;
        window->close();
    });
}

} // namespace WindowKeys
