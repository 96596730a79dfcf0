// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history/HistoryStore.h"

#include <QAbstractListModel>
#include <QHash>
#include <QImage>
#include <QThreadPool>

#include <functional>
#include <optional>

// The history grid's items: a copy of the store's entries, in its order, with thumbnails decoded off the
// main thread when a cell first asks for one. A plain reload decodes again; a search that narrows or widens
// the list keeps the thumbnails made since; a thumbnail that arrives late is kept only if its row still
// shows the same file.
class HistoryListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        PathRole = Qt::UserRole + 1,
        FileNameRole,
        DateTextRole,
        // The thumbnail once decoded; a null image meanwhile, or when the file has none to give.
        ThumbnailRole,
        // True once decoding has ended without a picture (file gone, a folder, not an image).
        NoThumbnailRole,
    };

    static constexpr int thumbnailMaxPixel = 400;

    explicit HistoryListModel(QObject *parent = nullptr);
    ~HistoryListModel() override;

    // The entries shown. Their thumbnails are decoded anew, except, when `keepThumbnails`, those of files
    // already shown (a search narrowing or widening the same list).
    void setEntries(const QList<HistoryStore::Entry> &entries, bool keepThumbnails = false);
    // While a search shows its results: the recognised text of a capture, its cell's tooltip.
    std::function<QString(const QString &path)> textOf;
    const QList<HistoryStore::Entry> &entries() const { return m_entries; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Decodes one thumbnail, on a worker thread; replaceable for tests.
    std::function<std::optional<QImage>(const QString &path)> decode;
    // Hands a decoded thumbnail to the row that asked for it: ignored when the row shows another file now.
    void deliverThumbnail(int row, const QString &path, const std::optional<QImage> &thumbnail);
    // Waits for the decoding under way (tests, and the end of the window).
    void waitForThumbnails();

    // The short date and time of the user's locale.
    static QString dateText(const HistoryStore::Entry &entry);

private:
    struct Slot {
        QImage thumbnail;
        bool requested = false;
        bool failed = false;
    };
    void request(int row) const;

    QList<HistoryStore::Entry> m_entries;
    mutable QList<Slot> m_slots;
    QHash<QString, Slot> m_kept;
    mutable QThreadPool m_pool;
};
