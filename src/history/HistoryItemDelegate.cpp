// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryItemDelegate.h"

#include "history/HistoryListModel.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int nameHeight = 15;
constexpr int dateHeight = 13;

} // namespace

QSize HistoryItemDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return {cellWidth, cellHeight};
}

QRect HistoryItemDelegate::thumbnailRect(const QRect &cell)
{
    return QRect(cell.x() + margin, cell.y() + margin, cell.width() - 2 * margin, thumbnailHeight);
}

QRect HistoryItemDelegate::nameRect(const QRect &cell)
{
    const QRect thumbnail = thumbnailRect(cell);
    return QRect(thumbnail.x(), thumbnail.bottom() + 1 + 4, thumbnail.width(), nameHeight);
}

QRect HistoryItemDelegate::dateRect(const QRect &cell)
{
    const QRect name = nameRect(cell);
    return QRect(name.x(), name.bottom() + 1 + 1, name.width(), dateHeight);
}

QRectF HistoryItemDelegate::fittedRect(const QSizeF &picture, const QRectF &box)
{
    if (picture.isEmpty())
        return {};
    const double factor = std::min({1.0, box.width() / picture.width(), box.height() / picture.height()});
    const QSizeF size = picture * factor;
    return QRectF(box.center().x() - size.width() / 2, box.center().y() - size.height() / 2, size.width(),
                  size.height());
}

QFont HistoryItemDelegate::nameFont()
{
    QFont font = QApplication::font();
    font.setPixelSize(11);
    return font;
}

QFont HistoryItemDelegate::dateFont()
{
    QFont font = QApplication::font();
    font.setPixelSize(10);
    return font;
}

QString HistoryItemDelegate::shownName(const QString &fileName, int width)
{
    return QFontMetrics(nameFont()).elidedText(fileName, Qt::ElideMiddle, width);
}

void HistoryItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const
{
    const QRect cell = option.rect;
    const QPalette &palette = option.palette;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);

    // The thumbnail, clipped to its rounded box, then the box's border.
    const QRectF box = thumbnailRect(cell);
    QPainterPath rounded;
    rounded.addRoundedRect(box, 6, 6);
    const QImage thumbnail = index.data(HistoryListModel::ThumbnailRole).value<QImage>();
    if (!thumbnail.isNull()) {
        painter->save();
        painter->setClipPath(rounded);
        const QSizeF logical = thumbnail.size() / thumbnail.devicePixelRatio();
        painter->drawImage(fittedRect(logical, box), thumbnail);
        painter->restore();
    } else if (index.data(HistoryListModel::NoThumbnailRole).toBool()) {
        // Nothing to show: a faint placeholder frame with a cross.
        QColor faint = palette.color(QPalette::PlaceholderText);
        faint.setAlphaF(0.35);
        painter->setPen(QPen(faint, 1));
        const QPointF c = box.center();
        painter->drawLine(c + QPointF(-10, -10), c + QPointF(10, 10));
        painter->drawLine(c + QPointF(-10, 10), c + QPointF(10, -10));
    }
    QColor separator = palette.color(QPalette::WindowText);
    separator.setAlphaF(0.15);
    painter->setPen(QPen(separator, 1));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);

    // Name and date.
    const QRect name = nameRect(cell);
    painter->setFont(nameFont());
    painter->setPen(palette.color(QPalette::WindowText));
    painter->drawText(name, Qt::AlignHCenter | Qt::AlignVCenter,
                      shownName(index.data(HistoryListModel::FileNameRole).toString(), name.width()));
    painter->setFont(dateFont());
    painter->setPen(palette.color(QPalette::PlaceholderText));
    painter->drawText(dateRect(cell), Qt::AlignHCenter | Qt::AlignVCenter,
                      index.data(HistoryListModel::DateTextRole).toString());

    if (option.state & QStyle::State_Selected) {
        painter->setPen(QPen(palette.color(QPalette::Highlight), 2));
        painter->drawRoundedRect(QRectF(cell).adjusted(1, 1, -1, -1), 8, 8);
    }
    painter->restore();
}
