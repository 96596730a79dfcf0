// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStyledItemDelegate>

// Draws one history cell of 200 × 164: the thumbnail in a rounded, bordered box (118 high, scaled down
// only), the file name below it (11, elided in the middle so the extension stays), the date (10, secondary
// colour), and a 2-wide accent border round the cell when it is selected.
class HistoryItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int cellWidth = 200;
    static constexpr int cellHeight = 164;
    static constexpr int margin = 4;
    static constexpr int thumbnailHeight = 118;

    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

    // The parts of a cell, relative to its rectangle.
    static QRect thumbnailRect(const QRect &cell);
    static QRect nameRect(const QRect &cell);
    static QRect dateRect(const QRect &cell);
    // Where a picture of that size is drawn in the box: scaled proportionally, never enlarged, centred.
    static QRectF fittedRect(const QSizeF &picture, const QRectF &box);
    static QFont nameFont();
    static QFont dateFont();
    // The name as shown in the cell's width.
    static QString shownName(const QString &fileName, int width);
};
