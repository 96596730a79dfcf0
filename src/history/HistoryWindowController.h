// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history/HistoryStore.h"

#include <QImage>
#include <QSet>
#include <QWidget>

#include <functional>
#include <memory>

class HistoryListModel;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;

// The history window: past captures as a grid of thumbnails, newest first, with their names and dates.
// Double-click opens one in an editor; the context menu opens, copies, or moves the file to the Trash.
// Made once and kept; closing hides it. It follows the history store while it exists (a capture taken
// while it is open appears at once).
class HistoryWindowController : public QWidget {
    Q_OBJECT
public:
    HistoryWindowController();
    ~HistoryWindowController() override;

    // Opens a capture in an editor; set by the app.
    std::function<void(const QImage &image, double scale, const QString &path)> onOpenEditor;
    // Plays a recording; by default in the desktop's player for its type.
    std::function<void(const QString &path)> onPlay;
    // Opens an entry: a capture in the editor, a recording in the player.
    void openEntry(const HistoryStore::Entry &entry);
    // Pins a capture on the screen; set by the app.
    std::function<void(const QImage &image, double scale, const QString &path)> onPin;
    // The captures whose text holds the words typed in the search field; set by the app.
    std::function<QSet<QString>(const QString &words)> onSearch;
    // The recognised text of a capture, shown as the tooltip of a cell a search found; set by the app.
    std::function<QString(const QString &path)> textOf;
    // Search on or off; off, the field says why.
    void setSearchAvailable(bool available, const QString &reason = QString());

    // Prunes the entries whose files are gone, reloads, shows and raises the window.
    void showWindow();
    // Takes the store's list again, filtered by the search field's words when it holds any.
    void reload();
    // Searches again when the field holds words (the index has learnt more text).
    void refreshSearch();

    const QList<HistoryStore::Entry> &entries() const;
    QListView *grid() const { return m_grid; }
    HistoryListModel *model() const { return m_model; }
    QLabel *emptyLabel() const { return m_emptyLabel; }
    QLineEdit *searchField() const { return m_search; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

public:
    // The menu for the cell under a point of the grid's viewport, having selected that cell alone;
    // nothing over empty space.
    std::unique_ptr<QMenu> menuAt(const QPoint &viewportPoint);
    // The menu for one entry of the list; nothing for an index outside it.
    std::unique_ptr<QMenu> contextMenu(int index);

    void openInEditor(const HistoryStore::Entry &entry);
    void copyImage(const HistoryStore::Entry &entry);

private:
    void showEntries(bool keepThumbnails);

    QLineEdit *m_search = nullptr;
    QListView *m_grid = nullptr;
    HistoryListModel *m_model = nullptr;
    QLabel *m_emptyLabel = nullptr;
};
