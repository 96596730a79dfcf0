// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/HUD.h"
#include "history/HistoryItemDelegate.h"
#include "history/HistoryListModel.h"
#include "history/HistoryStore.h"
#include "history/HistoryWindowController.h"
#include "output/ImageLoader.h"
#include "support/TestImages.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestHistoryWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;

    // A real capture file: a 600 × 300 PNG with the resolution of the given scale.
    QString capture(const QString &name, int scale = 1)
    {
        QImage image = TestImages::sample(600, 300);
        const int dotsPerMeter = int(std::lround(72.0 * scale / 0.0254));
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        const QString path = dir->filePath(name);
        if (!image.save(path, "PNG"))
            return {};
        return path;
    }
    static QStringList paths(const HistoryWindowController &window)
    {
        QStringList list;
        for (const auto &entry : window.entries())
            list << entry.path;
        return list;
    }
    // The centre of the cell of a row, in the grid's viewport.
    static QPoint cellCentre(const HistoryWindowController &window, int row)
    {
        QCoreApplication::processEvents(); // the grid lays its cells out on the next turn of the loop
        return window.grid()->visualRect(window.model()->index(row)).center();
    }
    static QStringList hudTexts(const QWidget &window)
    {
        QStringList texts;
        for (const QLabel *label : window.findChildren<QLabel *>()) {
            if (label->parentWidget() && label->parentWidget()->objectName() == "hud")
                texts << label->text();
        }
        return texts;
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        HistoryStore &store = HistoryStore::shared();
        while (!store.entries().isEmpty())
            store.remove(store.entries().first().path, false);
    }

    void emptyThenLive()
    {
        HistoryWindowController window;
        window.showWindow();
        QVERIFY(window.emptyLabel()->isVisible());
        QCOMPARE(window.emptyLabel()->text(),
                 QString("Aucune capture pour l'instant.\nMaj+Super+7 pour capturer une zone."));
        QCOMPARE(window.windowTitle(), QString("Historique des captures"));
        QCOMPARE(window.grid()->model()->rowCount(), 0);

        // A capture landing while the window is open appears without reopening it, newest first.
        const QString first = capture("Capture 1.png");
        const QString second = capture("Capture 2.png");
        HistoryStore::shared().add(first);
        QVERIFY(window.emptyLabel()->isHidden());
        HistoryStore::shared().add(second);
        QCOMPARE(paths(window), QStringList({second, first}));
        QCOMPARE(window.model()->index(0).data(HistoryListModel::FileNameRole).toString(),
                 QString("Capture 2.png"));
        QCOMPARE(window.model()->index(0).data(HistoryListModel::DateTextRole).toString(),
                 QLocale().toString(window.entries().first().dateTime().toLocalTime(), QLocale::ShortFormat));

        // Thumbnails are decoded once the cells are drawn, at most 400 on their longest side.
        window.grid()->viewport()->repaint();
        QTRY_VERIFY(!window.model()->index(0).data(HistoryListModel::ThumbnailRole).value<QImage>().isNull());
        const QImage thumbnail =
            window.model()->index(0).data(HistoryListModel::ThumbnailRole).value<QImage>();
        QCOMPARE(thumbnail.size(), QSize(400, 200));
        // Cells are 200 × 164 with 12 between them.
        QCoreApplication::processEvents();
        const QRect a = window.grid()->visualRect(window.model()->index(0));
        const QRect b = window.grid()->visualRect(window.model()->index(1));
        QCOMPARE(a.size(), QSize(200, 164));
        QCOMPARE(b.left() - a.right() - 1, 12);
        QCOMPARE(window.grid()->viewport()->mapTo(window.grid(), a.topLeft()), QPoint(12, 12));
    }

    void showingPrunesDeletedFiles()
    {
        const QString kept = capture("kept.png");
        const QString gone = capture("gone.png");
        HistoryStore::shared().add(kept);
        HistoryStore::shared().add(gone);
        HistoryWindowController window;
        QCOMPARE(window.entries().size(), 2);
        QFile::remove(gone);
        window.showWindow();
        QCOMPARE(paths(window), QStringList({kept}));
    }

    void contextMenus()
    {
        const QString first = capture("one.png");
        const QString second = capture("two.png");
        HistoryStore::shared().add(first);
        HistoryStore::shared().add(second);
        HistoryWindowController window;
        window.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // Empty space: no menu, the selection unchanged.
        window.grid()->setCurrentIndex(window.model()->index(0));
        QVERIFY(!window.menuAt(
            QPoint(window.grid()->viewport()->width() - 5, window.grid()->viewport()->height() - 5)));
        QCOMPARE(window.grid()->selectionModel()->selectedIndexes().size(), 1);

        // A right click on an unselected cell selects it alone before its menu comes.
        std::unique_ptr<QMenu> menu = window.menuAt(cellCentre(window, 1));
        QVERIFY(menu);
        const QModelIndexList selected = window.grid()->selectionModel()->selectedIndexes();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().row(), 1);
        QStringList titles;
        for (const QAction *action : menu->actions())
            titles << (action->isSeparator() ? QString("—") : action->text());
        QCOMPARE(titles, QStringList({"Ouvrir dans l'éditeur", "Copier l'image", "Épingler", "—",
                                      "Supprimer (corbeille)"}));
        for (const QAction *action : menu->actions())
            QVERIFY(action->shortcut().isEmpty());
        // "Épingler" hands the cell's capture over, as it is on the disk.
        QString pinned;
        double pinnedScale = 0;
        window.onPin = [&](const QImage &image, double scale, const QString &path) {
            QVERIFY(!image.isNull());
            pinned = path;
            pinnedScale = scale;
        };
        menu->actions().at(2)->trigger();
        QCOMPARE(pinned, first);
        QVERIFY(pinnedScale > 0);

        // A stale index has no menu.
        QVERIFY(!window.contextMenu(2));
        QVERIFY(!window.contextMenu(-1));

        // "Supprimer (corbeille)" moves the file to the Trash and the cell goes.
        menu->actions().last()->trigger();
        QCOMPARE(paths(window), QStringList({second}));
        QVERIFY(!QFile::exists(first));
        const QString trash =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files";
        QVERIFY(!QDir(trash).entryList({"one*.png"}, QDir::Files).isEmpty());

        // Already gone: the cell goes all the same.
        std::unique_ptr<QMenu> again = window.contextMenu(0);
        QFile::remove(second);
        again->actions().last()->trigger();
        QVERIFY(window.entries().isEmpty());
        QVERIFY(window.emptyLabel()->isVisible());
    }

    void openingAndCopying()
    {
        HUD::timings() = {0, 5000, 0};
        const QString retina = capture("retina.png", 2);
        const QString gone = capture("gone.png");
        HistoryStore::shared().add(gone);
        HistoryStore::shared().add(retina);
        HistoryWindowController window;
        QList<std::pair<QSize, double>> opened;
        QString openedPath;
        window.onOpenEditor = [&](const QImage &image, double scale, const QString &path) {
            opened.append({image.size(), scale});
            openedPath = path;
        };
        window.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // Double-click opens the capture at the scale of its resolution.
        const QPoint centre = cellCentre(window, 0);
        QTest::mouseClick(window.grid()->viewport(), Qt::LeftButton, {}, centre);
        QTest::mousePress(window.grid()->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(window.grid()->viewport(), Qt::LeftButton, {}, centre);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.first(), std::make_pair(QSize(600, 300), 2.0));
        QCOMPARE(openedPath, retina);

        // Copying puts the picture on the clipboard and says so.
        window.contextMenu(0)->actions().at(1)->trigger();
        const QMimeData *clipboard = QApplication::clipboard()->mimeData();
        QVERIFY(clipboard && clipboard->formats().contains("image/png"));
        QVERIFY(hudTexts(window).contains("Image copiée"));

        // A file deleted meanwhile: "Fichier introuvable", and the entry goes.
        QFile::remove(gone);
        window.contextMenu(1)->actions().at(0)->trigger();
        QCOMPARE(opened.size(), 1);
        QVERIFY(hudTexts(window).contains("Fichier introuvable"));
        QCOMPARE(paths(window), QStringList({retina}));
        HUD::timings() = {};
    }

    void filesThatAreNoPictures()
    {
        // A folder where the capture was and a text file: placeholders, nothing opened or copied.
        const QString folder = dir->filePath("folder.png");
        QDir().mkpath(folder);
        const QString text = dir->filePath("text.png");
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
        file.close();
        HistoryStore::shared().add(folder);
        HistoryStore::shared().add(text);
        HistoryWindowController window;
        int opened = 0;
        window.onOpenEditor = [&](const QImage &, double, const QString &) { ++opened; };
        window.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.grid()->viewport()->repaint();
        QTRY_VERIFY(window.model()->index(0).data(HistoryListModel::NoThumbnailRole).toBool());
        QTRY_VERIFY(window.model()->index(1).data(HistoryListModel::NoThumbnailRole).toBool());
        QApplication::clipboard()->clear();
        window.copyImage(window.entries().at(0));
        const QMimeData *clipboard = QApplication::clipboard()->mimeData();
        QVERIFY(!clipboard || !clipboard->hasImage());
        window.openInEditor(window.entries().at(1));
        QCOMPARE(opened, 0);
        window.grid()->viewport()->repaint(); // painting placeholders must not fail
    }

    void searchFiltersTheGrid()
    {
        const QString error = capture("erreur.png");
        const QString receipt = capture("recu.png");
        const QString other = capture("autre.png");
        HistoryStore::shared().add(error);
        HistoryStore::shared().add(receipt);
        HistoryStore::shared().add(other);
        HistoryWindowController window;
        QVERIFY(!window.searchField()->isEnabled()); // no search until the app gives it
        QCOMPARE(window.searchField()->placeholderText(), QString("Recherche indisponible"));
        QStringList asked;
        window.onSearch = [&](const QString &words) {
            asked << words;
            QSet<QString> matches;
            if (words == "total")
                matches << receipt << error;
            return matches;
        };
        window.textOf = [&](const QString &path) {
            return path == receipt ? QString("Total 12,50 €") : QString("total des erreurs");
        };
        window.setSearchAvailable(true);
        std::atomic<int> decodes = 0;
        window.model()->decode = [&](const QString &path) {
            ++decodes;
            return ImageLoader::thumbnail(path, 400);
        };
        window.showWindow();
        QCOMPARE(window.searchField()->placeholderText(), QString("Rechercher dans les captures"));
        QCOMPARE(paths(window), QStringList({other, receipt, error}));
        QCoreApplication::processEvents();
        window.grid()->viewport()->repaint();
        QTRY_COMPARE(decodes.load(), 3);
        window.model()->waitForThumbnails();
        QCoreApplication::processEvents();

        // Typing filters to the matches, in the history's order, with the text as the tooltip.
        QTest::keyClicks(window.searchField(), "total");
        QCOMPARE(asked.last(), QString("total"));
        QCOMPARE(paths(window), QStringList({receipt, error}));
        QCOMPARE(window.model()->index(0).data(Qt::ToolTipRole).toString(), QString("Total 12,50 €"));
        // Narrowing the list keeps the thumbnails already made.
        QCoreApplication::processEvents();
        window.grid()->viewport()->repaint();
        window.model()->waitForThumbnails();
        QCOMPARE(decodes.load(), 3);
        QVERIFY(!window.model()->index(0).data(HistoryListModel::ThumbnailRole).value<QImage>().isNull());
        // A capture landing meanwhile keeps the filter.
        HistoryStore::shared().add(capture("nouvelle.png"));
        QCOMPARE(paths(window), QStringList({receipt, error}));
        // Nothing found: the message says so.
        window.searchField()->setText("zzz");
        QVERIFY(window.entries().isEmpty());
        QVERIFY(window.emptyLabel()->isVisible());
        QCOMPARE(window.emptyLabel()->text(), QString("Aucune capture ne contient ce texte."));
        // Escape clears the search and shows everything again.
        window.searchField()->setFocus();
        QTest::keyClick(window.searchField(), Qt::Key_Escape);
        QCOMPARE(window.searchField()->text(), QString());
        QCOMPARE(window.entries().size(), 4);
        QVERIFY(window.emptyLabel()->isHidden());
        QCOMPARE(window.model()->index(1).data(Qt::ToolTipRole).toString(), other);

        // Search turned off (the index became unusable): the field says so and the grid shows all.
        window.searchField()->setText("total");
        window.setSearchAvailable(false, "disque plein");
        QVERIFY(!window.searchField()->isEnabled());
        QCOMPARE(window.searchField()->toolTip(), QString("disque plein"));
        QCOMPARE(window.entries().size(), 4);
    }

    void lateThumbnailsStayWithTheirFile()
    {
        HistoryListModel model;
        QSemaphore release;
        QStringList decoded;
        QMutex mutex;
        model.decode = [&](const QString &path) -> std::optional<QImage> {
            release.acquire();
            QMutexLocker lock(&mutex);
            decoded << path;
            QImage image(10, 10, QImage::Format_RGB32);
            image.fill(path.endsWith("a") ? Qt::red : Qt::blue);
            return image;
        };
        model.setEntries({{"/x/a", 1}});
        QVERIFY(model.index(0).data(HistoryListModel::ThumbnailRole).value<QImage>().isNull()); // asks
        // The row is given to another file before the decoding ends.
        model.setEntries({{"/x/b", 2}});
        release.release();
        model.waitForThumbnails();
        QCoreApplication::processEvents();
        QVERIFY(model.index(0).data(HistoryListModel::ThumbnailRole).value<QImage>().isNull());
        release.release();
        model.waitForThumbnails();
        QTRY_VERIFY(!model.index(0).data(HistoryListModel::ThumbnailRole).value<QImage>().isNull());
        QCOMPARE(model.index(0).data(HistoryListModel::ThumbnailRole).value<QImage>().pixelColor(0, 0),
                 QColor(Qt::blue));
        QCOMPARE(decoded, QStringList({"/x/a", "/x/b"}));
        // A delivery for a row that is gone is ignored.
        model.deliverThumbnail(5, "/x/b", QImage(1, 1, QImage::Format_RGB32));
        model.deliverThumbnail(-1, "/x/b", QImage(1, 1, QImage::Format_RGB32));
    }

    void cellLayout()
    {
        const QRect cell(100, 50, 200, 164);
        QCOMPARE(HistoryItemDelegate::thumbnailRect(cell), QRect(104, 54, 192, 118));
        QCOMPARE(HistoryItemDelegate::nameRect(cell).top(), 54 + 118 + 4);
        QCOMPARE(HistoryItemDelegate::dateRect(cell).top(), HistoryItemDelegate::nameRect(cell).bottom() + 2);
        // Scaled down only, centred.
        QCOMPARE(HistoryItemDelegate::fittedRect(QSizeF(400, 200), QRectF(0, 0, 192, 118)),
                 QRectF(0, 11, 192, 96));
        QCOMPARE(HistoryItemDelegate::fittedRect(QSizeF(50, 20), QRectF(0, 0, 192, 118)),
                 QRectF(71, 49, 50, 20));
        // A long name is shortened in the middle, the extension kept.
        const QString name =
            "Capture 2026-12-07 à 10.15.42 avec un nom beaucoup trop long pour la cellule.png";
        const QString shown = HistoryItemDelegate::shownName(name, 192);
        QVERIFY(shown.size() < name.size());
        QVERIFY(shown.contains(QChar(0x2026)));
        QVERIFY(shown.endsWith("cellule.png"));
        QVERIFY(shown.startsWith("Capture"));
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "tst_historywindow.moc"
