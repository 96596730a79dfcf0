// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryListModel.h"

#include "output/ImageLoader.h"
#include "output/VideoProbe.h"
#include "settings/VideoFormat.h"

#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QtConcurrent/QtConcurrentRun>

HistoryListModel::HistoryListModel(QObject *parent)
    : QAbstractListModel(parent), decode([](const QString &path) {
          // A recording's thumbnail is its first frame.
          return videoFormatOfFile(path) ? VideoProbe::thumbnail(path, thumbnailMaxPixel)
                                         : ImageLoader::thumbnail(path, thumbnailMaxPixel);
      })
{
    m_pool.setMaxThreadCount(2);
}

HistoryListModel::~HistoryListModel()
{
    m_pool.clear();
    m_pool.waitForDone();
}

void HistoryListModel::setEntries(const QList<HistoryStore::Entry> &entries, bool keepThumbnails)
{
    // Thumbnails made since the last plain reload, kept while a search narrows and widens the list (a
    // word typed letter by letter may empty it on the way).
    if (keepThumbnails) {
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            const Slot &slot = m_slots.at(i);
            if (!slot.thumbnail.isNull() || slot.failed)
                m_kept.insert(m_entries.at(i).path, slot);
        }
    } else {
        m_kept.clear();
    }
    beginResetModel();
    m_entries = entries;
    m_slots = QList<Slot>(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i)
        m_slots[i] = m_kept.value(entries.at(i).path);
    endResetModel();
}

int HistoryListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QString HistoryListModel::dateText(const HistoryStore::Entry &entry)
{
    return QLocale().toString(entry.dateTime().toLocalTime(), QLocale::ShortFormat);
}

QVariant HistoryListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const HistoryStore::Entry &entry = m_entries.at(index.row());
    switch (role) {
    case PathRole: return entry.path;
    case Qt::DisplayRole:
    case FileNameRole: return QFileInfo(entry.path).fileName();
    case Qt::ToolTipRole: {
        // The text a search found in it, as much as a tooltip holds; else the file's path.
        const QString text = textOf ? textOf(entry.path).trimmed() : QString();
        if (text.isEmpty())
            return entry.path;
        return text.size() > 600 ? text.left(600) + QChar(0x2026) : text;
    }
    case DateTextRole: return dateText(entry);
    case ThumbnailRole: request(index.row()); return m_slots.at(index.row()).thumbnail;
    case NoThumbnailRole: return m_slots.at(index.row()).failed;
    default: return {};
    }
}

void HistoryListModel::request(int row) const
{
    Slot &slot = m_slots[row];
    if (slot.requested)
        return;
    slot.requested = true;
    const QString path = m_entries.at(row).path;
    const auto decoder = decode;
    // The pool ends (waiting for its tasks) before the model does, and a result posted to the model is
    // dropped with it, so the model outlives every task and every delivery.
    auto *model = const_cast<HistoryListModel *>(this);
    (void)QtConcurrent::run(&m_pool, [model, row, path, decoder] {
        std::optional<QImage> thumbnail = decoder ? decoder(path) : std::nullopt;
        QMetaObject::invokeMethod(
            model,
            [model, row, path, thumbnail = std::move(thumbnail)] {
                model->deliverThumbnail(row, path, thumbnail);
            },
            Qt::QueuedConnection);
    });
}

void HistoryListModel::deliverThumbnail(int row, const QString &path, const std::optional<QImage> &thumbnail)
{
    if (row < 0 || row >= m_entries.size() || m_entries.at(row).path != path)
        return;
    Slot &slot = m_slots[row];
    slot.thumbnail = thumbnail ? *thumbnail : QImage();
    slot.failed = !thumbnail || thumbnail->isNull();
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {ThumbnailRole, NoThumbnailRole});
}

void HistoryListModel::waitForThumbnails()
{
    m_pool.waitForDone();
}
