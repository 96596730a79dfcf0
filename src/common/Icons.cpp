#include "common/Icons.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace Icons {

bool exists(const QString &role)
{
    return QFile::exists(QStringLiteral(":/icons/") + role + QStringLiteral(".svg"));
}

QIcon icon(const QString &role, const QColor &tint, int size)
{
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
