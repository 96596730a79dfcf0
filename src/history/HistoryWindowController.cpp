// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryWindowController.h"

#include "common/HUD.h"
#include "common/WindowKeys.h"
#include "common/WindowPlacement.h"
#include "history/HistoryItemDelegate.h"
#include "history/HistoryListModel.h"
#include "output/ImageLoader.h"
#include "output/OutputPipeline.h"
#include "settings/VideoFormat.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QUrl>

namespace {

const QString emptyHistoryText =
    QStringLiteral("Aucune capture pour l'instant.\nMaj+Super+7 pour capturer une zone.");

} // namespace

HistoryWindowController::HistoryWindowController() : QWidget(nullptr, Qt::Window)
{
    setWindowTitle(QStringLiteral("Historique des captures"));
    // Escape clears the search first, then closes the window.
    WindowKeys::closeOnEscape(this, [this] {
        if (m_search->text().isEmpty())
            return false;
        m_search->clear();
        return true;
    });
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(680, 480);

    m_model = new HistoryListModel(this);
    m_grid = new QListView;
    m_grid->setViewMode(QListView::IconMode);
    m_grid->setFlow(QListView::LeftToRight);
    m_grid->setWrapping(true);
    m_grid->setResizeMode(QListView::Adjust);
    m_grid->setMovement(QListView::Static);
    m_grid->setUniformItemSizes(true);
    m_grid->setSpacing(12); // between cells, between lines and at the edges
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_grid->setFrameShape(QFrame::NoFrame);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setDragEnabled(false);
    m_grid->setModel(m_model);
    m_grid->setItemDelegate(new HistoryItemDelegate(m_grid));
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    // The window's own background behind the cells.
    m_grid->viewport()->setBackgroundRole(QPalette::Window);
    m_grid->setBackgroundRole(QPalette::Window);

    m_search = new QLineEdit;
    m_search->setPlaceholderText(QStringLiteral("Rechercher dans les captures"));
    m_search->setClearButtonEnabled(true);
    m_search->installEventFilter(this);
    // Typing narrows or widens the same list: the thumbnails already made stay.
    connect(m_search, &QLineEdit::textChanged, this, [this] { showEntries(true); });
    setSearchAvailable(false);

    m_emptyLabel = new QLabel(emptyHistoryText);
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_emptyLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette secondary = m_emptyLabel->palette();
    secondary.setColor(QPalette::WindowText, secondary.color(QPalette::PlaceholderText));
    m_emptyLabel->setPalette(secondary);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *searchRow = new QHBoxLayout;
    searchRow->setContentsMargins(12, 10, 12, 0);
    searchRow->addWidget(m_search);
    layout->addLayout(searchRow, 0, 0);
    layout->addWidget(m_grid, 1, 0);
    layout->addWidget(m_emptyLabel, 1, 0, Qt::AlignCenter);

    connect(m_grid, &QListView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid() && index.row() < entries().size())
            openEntry(entries().at(index.row()));
    });
    connect(m_grid, &QWidget::customContextMenuRequested, this, [this](const QPoint &point) {
        if (std::unique_ptr<QMenu> menu = menuAt(point))
            menu->exec(m_grid->viewport()->mapToGlobal(point));
    });

    QPointer<HistoryWindowController> self(this);
    HistoryStore::shared().onChange = [self] {
        if (self)
            self->reload();
    };
    reload();
    WindowPlacement::centerOnActiveScreen(this);
}

HistoryWindowController::~HistoryWindowController()
{
    HistoryStore::shared().onChange = nullptr;
}

const QList<HistoryStore::Entry> &HistoryWindowController::entries() const
{
    return m_model->entries();
}

void HistoryWindowController::showWindow()
{
    HistoryStore::shared().cleanupMissingFiles();
    reload();
    show();
    raise();
    activateWindow();
}

void HistoryWindowController::setSearchAvailable(bool available, const QString &reason)
{
    m_search->setEnabled(available);
    m_search->setPlaceholderText(available ? QStringLiteral("Rechercher dans les captures")
                                           : QStringLiteral("Recherche indisponible"));
    m_search->setToolTip(available ? QString() : reason);
    if (!available && !m_search->text().isEmpty())
        m_search->clear();
}

void HistoryWindowController::reload()
{
    showEntries(false);
}

void HistoryWindowController::showEntries(bool keepThumbnails)
{
    const QList<HistoryStore::Entry> &all = HistoryStore::shared().entries();
    const QString words = m_search->text().trimmed();
    if (words.isEmpty() || !onSearch) {
        m_model->setEntries(all, keepThumbnails);
        m_model->textOf = nullptr;
        m_emptyLabel->setText(emptyHistoryText);
        m_emptyLabel->setVisible(all.isEmpty());
        return;
    }
    const QSet<QString> matches = onSearch(words);
    QList<HistoryStore::Entry> shown;
    for (const HistoryStore::Entry &entry : all) {
        if (matches.contains(entry.path))
            shown << entry;
    }
    m_model->setEntries(shown, keepThumbnails);
    m_model->textOf = textOf;
    m_emptyLabel->setText(all.isEmpty() ? emptyHistoryText
                                        : QStringLiteral("Aucune capture ne contient ce texte."));
    m_emptyLabel->setVisible(shown.isEmpty());
}

void HistoryWindowController::refreshSearch()
{
    if (!m_search->text().trimmed().isEmpty())
        showEntries(true);
}

bool HistoryWindowController::eventFilter(QObject *watched, QEvent *event)
{
    // Escape in the search field clears the search.
    if (watched == m_search && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && !m_search->text().isEmpty()) {
        m_search->clear();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

std::unique_ptr<QMenu> HistoryWindowController::menuAt(const QPoint &viewportPoint)
{
    const QModelIndex index = m_grid->indexAt(viewportPoint);
    if (!index.isValid())
        return nullptr;
    m_grid->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
    m_grid->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    return contextMenu(index.row());
}

std::unique_ptr<QMenu> HistoryWindowController::contextMenu(int index)
{
    if (index < 0 || index >= entries().size())
        return nullptr;
    const HistoryStore::Entry entry = entries().at(index);
    auto menu = std::make_unique<QMenu>(this);
    QPointer<HistoryWindowController> self(this);
    if (videoFormatOfFile(entry.path)) {
        // A recording is played, and copied as a file.
        menu->addAction(QStringLiteral("Lire l'enregistrement"), [self, entry] {
            if (self)
                self->openEntry(entry);
        });
        menu->addAction(QStringLiteral("Copier le fichier"), [self, entry] {
            if (!self)
                return;
            OutputPipeline::copyFileToPasteboard(entry.path);
            HUD::show(QStringLiteral("Fichier copié"), self);
        });
        menu->addSeparator();
        menu->addAction(QStringLiteral("Supprimer (corbeille)"),
                        [entry] { HistoryStore::shared().remove(entry.path, true); });
        return menu;
    }
    menu->addAction(QStringLiteral("Ouvrir dans l'éditeur"), [self, entry] {
        if (self)
            self->openInEditor(entry);
    });
    menu->addAction(QStringLiteral("Copier l'image"), [self, entry] {
        if (self)
            self->copyImage(entry);
    });
    menu->addAction(QStringLiteral("Épingler"), [self, entry] {
        if (!self)
            return;
        const std::optional<ImageLoader::Loaded> loaded = ImageLoader::load(entry.path);
        if (!loaded) {
            HUD::show(QStringLiteral("Fichier introuvable"), self);
            return;
        }
        if (self->onPin)
            self->onPin(loaded->image, loaded->scale, entry.path);
    });
    menu->addSeparator();
    menu->addAction(QStringLiteral("Supprimer (corbeille)"),
                    [entry] { HistoryStore::shared().remove(entry.path, true); });
    return menu;
}

void HistoryWindowController::openEntry(const HistoryStore::Entry &entry)
{
    if (!videoFormatOfFile(entry.path)) {
        openInEditor(entry);
        return;
    }
    if (!QFileInfo::exists(entry.path)) {
        HUD::show(QStringLiteral("Fichier introuvable"), this);
        HistoryStore::shared().cleanupMissingFiles();
        return;
    }
    if (onPlay)
        onPlay(entry.path);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(entry.path));
}

void HistoryWindowController::openInEditor(const HistoryStore::Entry &entry)
{
    const std::optional<ImageLoader::Loaded> loaded = ImageLoader::load(entry.path);
    if (!loaded) {
        HUD::show(QStringLiteral("Fichier introuvable"), this);
        HistoryStore::shared().cleanupMissingFiles();
        return;
    }
    if (onOpenEditor)
        onOpenEditor(loaded->image, loaded->scale, entry.path);
}

void HistoryWindowController::copyImage(const HistoryStore::Entry &entry)
{
    const std::optional<ImageLoader::Loaded> loaded = ImageLoader::load(entry.path);
    if (!loaded)
        return;
    if (OutputPipeline::copyToPasteboard(loaded->image, loaded->scale))
        HUD::show(QStringLiteral("Image copiée"), this);
}
