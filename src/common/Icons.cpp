// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Icons.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The icons are compiled into a static library: their resource is registered by hand, once.
static void registerIconResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(pim);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace Icons {

bool exists(const QString &role)
{
    registerIconResources();
    return QFile::exists(QStringLiteral(":/icons/") + role + QStringLiteral(".svg"));
}

QIcon icon(const QString &role, const QColor &tint, int size)
{
    registerIconResources();
    QSvgRenderer renderer(QStringLiteral(":/icons/") + role + QStringLiteral(".svg"));
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (int ratio : {1, 2}) {
        QPixmap pixmap(size * ratio, size * ratio);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter);
            // Every drawn pixel takes the tint; an invalid tint keeps the drawing's own colours.
            if (tint.isValid()) {
                painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
                painter.fillRect(pixmap.rect(), tint);
            }
        }
        pixmap.setDevicePixelRatio(ratio);
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace Icons
