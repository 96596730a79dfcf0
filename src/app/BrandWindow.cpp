// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/BrandWindow.h"

#include "app/Brand.h"
#include "common/Icons.h"

namespace BrandWindow {

void style(QWidget *window, int width)
{
    window->setWindowTitle(QStringLiteral("Pim"));
    window->setFixedWidth(width);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Brand::background);
    palette.setColor(QPalette::WindowText, Brand::foreground);
    palette.setColor(QPalette::Button, Brand::elevated);
    palette.setColor(QPalette::ButtonText, Brand::foreground);
    palette.setColor(QPalette::Highlight, Brand::accent);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

QLabel *label(const QString &text, double pointSize, QColor colour, QFont::Weight weight)
{
    auto *l = new QLabel(text);
    QFont font = l->font();
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    l->setFont(font);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, colour);
    l->setPalette(palette);
    l->setWordWrap(true);
    return l;
}

QLabel *icon(int size)
{
    auto *l = new QLabel;
    l->setPixmap(Icons::icon(QStringLiteral("pim"), Brand::foreground, size).pixmap(size, size));
    l->setFixedSize(size, size);
    return l;
}

QWidget *divider()
{
    auto *line = new QWidget;
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, Brand::line);
    line->setPalette(palette);
    return line;
}

} // namespace BrandWindow
