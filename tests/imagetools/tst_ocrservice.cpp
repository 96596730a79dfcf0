// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagetools/OCRService.h"
#include "support/TestImages.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QThreadPool>

using OCRService::Observation;

class TestOCRService : public QObject {
    Q_OBJECT

    static Observation at(double x, double midY, const QString &text)
    {
        return Observation{QRectF(x, midY - 0.01, 0.1, 0.02),
                           text.isNull() ? QStringList() : QStringList{text}};
    }

    // Two lines of French at screenshot size (scale 2), dark on a light background.
    static QImage frenchText()
    {
        return TestImages::textLines({"Réunion très importante à Genève", "Le garçon a déjà mangé"},
                                     QSize(1000, 220), 34, 80, 90);
    }

private slots:
    void orderingRule()
    {
        // Within 0.02 of each other: one line each, left first. Further apart: higher first.
        QCOMPARE(OCRService::orderedText({at(0.5, 0.50, "droite"), at(0.1, 0.51, "gauche")}),
                 QString("gauche\ndroite"));
        QCOMPARE(OCRService::orderedText({at(0.1, 0.50, "bas"), at(0.5, 0.53, "haut")}),
                 QString("haut\nbas"));
        // Two columns come out interleaved line by line.
        QCOMPARE(OCRService::orderedText(
                     {at(0.6, 0.8, "B1"), at(0.6, 0.6, "B2"), at(0.1, 0.6, "A2"), at(0.1, 0.8, "A1")}),
                 QString("A1\nB1\nA2\nB2"));
        // No candidate: left out, no empty line.
        QCOMPARE(OCRService::orderedText({at(0.1, 0.9, "un"), at(0.1, 0.5, QString()), at(0.1, 0.1, "deux")}),
                 QString("un\ndeux"));
        QCOMPARE(OCRService::orderedText({}), QString());
        // The same columns as two blocks of the layout: each column whole, in block order.
        Observation a1 = at(0.1, 0.8, "A1"), a2 = at(0.1, 0.6, "A2"), b1 = at(0.6, 0.8, "B1"),
                    b2 = at(0.6, 0.6, "B2");
        b1.block = b2.block = 1;
        QCOMPARE(OCRService::orderedText({b1, b2, a2, a1}), QString("A1\nA2\nB1\nB2"));
        // Chains of near lines (not transitive) still sort without trouble.
        QList<Observation> chain;
        for (int i = 0; i < 200; ++i)
            chain << at((i * 37 % 100) / 100.0, 0.5 + 0.015 * (i % 3), QString::number(i));
        QCOMPARE(OCRService::orderedText(chain).split('\n').size(), 200);
    }

    void languageCodes()
    {
        QCOMPARE(OCRService::tesseractCode("fr-FR"), QString("fra"));
        QCOMPARE(OCRService::tesseractCode("en-US"), QString("eng"));
        QCOMPARE(OCRService::tesseractCode("de"), QString("deu"));
        QCOMPARE(OCRService::tesseractCode("zh-Hans"), QString("chi_sim"));
        QCOMPARE(OCRService::tesseractCode("zh-Hant-TW"), QString("chi_tra"));
        QCOMPARE(OCRService::tesseractCode("nb-NO"), QString("nor"));
        QCOMPARE(OCRService::tesseractCode("sr-Latn"), QString("srp_latn"));
        QCOMPARE(OCRService::tesseractCode("zz-nonsense"), QString());
    }

    void recognisesFrenchWithAccents()
    {
        const auto observations = OCRService::recognize(frenchText(), {"fr-FR", "en-US"});
        QVERIFY2(observations.ok(), qPrintable(observations ? QString() : observations.error().message));
        const QString text = OCRService::orderedText(*observations);
        QCOMPARE(text, QString::fromUtf8("Réunion très importante à Genève\nLe garçon a déjà mangé"));
        // Boxes are normalised and y-up: the first line is higher.
        QCOMPARE(observations->size(), 2);
        for (const Observation &o : *observations)
            QVERIFY(QRectF(0, 0, 1, 1).contains(o.boundingBox));
        const Observation &first =
            observations->at(0).candidates.value(0).startsWith(QString::fromUtf8("Réunion"))
                ? observations->at(0)
                : observations->at(1);
        const Observation &second =
            &first == &observations->at(0) ? observations->at(1) : observations->at(0);
        QVERIFY(first.boundingBox.center().y() > second.boundingBox.center().y());
        // The first line's baseline is 80 pixels down a 220-pixel picture: its box lies in the top half.
        QVERIFY(first.boundingBox.top() > 0.5 && second.boundingBox.bottom() < 0.5);
    }

    // Two windows side by side at scale 1, small screen text, lines at the same heights: read window by
    // window, and no line joins the two.
    void windowsSideBySide()
    {
        QImage image(1200, 360, QImage::Format_RGB32);
        image.fill(QColor(60, 70, 90));
        QPainter p(&image);
        QFont font("DejaVu Sans");
        font.setPixelSize(13);
        p.setFont(font);
        const QStringList left = {"The left window holds a report", "about quarterly sales figures",
                                  "written in plain English words"};
        const QStringList right = {"La seconde colonne parle", "des chiffres du trimestre",
                                   "avec des mots simples"};
        p.fillRect(QRect(20, 20, 520, 300), Qt::white);
        p.fillRect(QRect(620, 20, 520, 300), Qt::white);
        p.setPen(QColor(20, 20, 20));
        for (int i = 0; i < 3; ++i) {
            p.drawText(QPointF(40, 70 + i * 40), left[i]);
            p.drawText(QPointF(640, 70 + i * 40), right[i]);
        }
        p.end();
        const auto observations = OCRService::recognize(image, {"fr-FR", "en-US"});
        QVERIFY(observations.ok());
        const QStringList lines = OCRService::orderedText(*observations).split('\n');
        QCOMPARE(lines, left + right);
    }

    void readingBlocksCutColumnsThenRows()
    {
        // Two columns of three lines (16 high, 24 apart) under a title spanning both.
        QList<QRectF> boxes{QRectF(10, 10, 500, 20)};
        for (int i = 0; i < 3; ++i) {
            boxes << QRectF(10, 60 + i * 24, 200, 16) << QRectF(300, 60 + i * 24, 200, 16);
        }
        const QList<int> blocks = OCRService::readingBlocks(boxes);
        // The title first, then the whole left column, then the right one.
        QCOMPARE(blocks[0], 0);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(blocks[1 + 2 * i], 1);
            QCOMPARE(blocks[2 + 2 * i], 2);
        }
        // Words a normal space apart are no column.
        QCOMPARE(OCRService::readingBlocks({QRectF(0, 0, 50, 16), QRectF(60, 0, 50, 16)}),
                 (QList<int>{0, 0}));
        QCOMPARE(OCRService::readingBlocks({}), QList<int>());
    }

    // The words the engine gives become lines without the engine: cut at a column gap, joined where the
    // analysis ended a line early, kept apart across rows.
    void wordsIntoLines()
    {
        using OCRService::Word;
        const auto texts = [](const QList<OCRService::Line> &lines) {
            QStringList out;
            for (const OCRService::Line &line : lines)
                out << line.words.join(u' ');
            return out;
        };
        // One engine line across two windows: 20-high words, a 300-pixel gutter between "b" and "c".
        const QList<Word> across{{QRectF(10, 100, 40, 20), "a", true},
                                 {QRectF(60, 100, 40, 20), "b", false},
                                 {QRectF(400, 100, 40, 20), "c", false},
                                 {QRectF(450, 100, 40, 20), "d", false}};
        const QList<OCRService::Line> split = OCRService::linesOf(across);
        QCOMPARE(texts(split), (QStringList{"a b", "c d"}));
        QCOMPARE(split[0].box, QRectF(10, 100, 90, 20));
        QCOMPARE(split[1].box, QRectF(400, 100, 90, 20));
        // Two engine lines on one row, a word gap apart (and given right piece first): one line, in
        // left-to-right order.
        const QList<Word> early{{QRectF(120, 200, 60, 20), "monde", true},
                                {QRectF(10, 202, 40, 18), "Bonjour", true},
                                {QRectF(55, 201, 50, 19), "le", false}};
        QCOMPARE(texts(OCRService::linesOf(early)), QStringList{"Bonjour le monde"});
        // Stacked lines that overlap by less than half a height stay two; so do pieces far apart on a
        // row (windows side by side) even when the engine began each.
        const QList<Word> stacked{{QRectF(10, 300, 100, 20), "haut", true},
                                  {QRectF(115, 312, 100, 20), "bas", true},
                                  {QRectF(600, 300, 100, 20), "loin", true}};
        QCOMPARE(texts(OCRService::linesOf(stacked)), (QStringList{"haut", "bas", "loin"}));
        QVERIFY(OCRService::linesOf({}).isEmpty());
    }
    void missingLanguages()
    {
        // Languages without data are skipped while one has data.
        QVERIFY(OCRService::recognize(frenchText(), {"de-DE", "fr-FR"}).ok());
        const auto none = OCRService::recognize(frenchText(), {"de-DE", "xx"});
        QVERIFY(!none.ok());
        QVERIFY(none.error().message.contains("de-DE") && none.error().message.contains("xx"));
    }

    void blankImageGivesNoText()
    {
        QImage blank(400, 200, QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::white);
        QCOMPARE(OCRService::orderedText(*OCRService::recognize(blank, {"fr-FR"})), QString());
    }

    // A recognition asked for synchronously (as the history's indexer does) keeps its engines only for a
    // while, like one asked for through recognizeText.
    void enginesGoAfterTheLastRecognition()
    {
        OCRService::releaseEngine();
        OCRService::setEnginesKeptFor(60000);
        QVERIFY(OCRService::recognize(frenchText(), {"fr-FR"}));
        QVERIFY(OCRService::holdsEngines());
        QCoreApplication::processEvents();
        QVERIFY(OCRService::holdsEngines()); // a minute: still there

        OCRService::setEnginesKeptFor(50);
        QVERIFY(OCRService::recognize(frenchText(), {"fr-FR"}));
        QVERIFY(OCRService::holdsEngines());
        QTRY_VERIFY_WITH_TIMEOUT(!OCRService::holdsEngines(), 10000);
        OCRService::setEnginesKeptFor(60000);
    }

    // The work runs on another thread and the answer comes back on the caller's.
    void asynchronousDelivery()
    {
        QObject context;
        QString text;
        bool called = false;
        QThread *deliveredOn = nullptr;
        OCRService::recognizeText(frenchText(), {"fr-FR"}, &context, [&](Result<QString> result) {
            called = true;
            deliveredOn = QThread::currentThread();
            text = result ? *result : result.error().message;
        });
        QTRY_VERIFY_WITH_TIMEOUT(called, 60000);
        QCOMPARE(deliveredOn, QThread::currentThread());
        QVERIFY(text.startsWith(QString::fromUtf8("Réunion")));

        // Nothing is delivered to a context that is gone.
        bool late = false;
        {
            QObject shortLived;
            OCRService::recognizeText(frenchText(), {"fr-FR"}, &shortLived,
                                      [&](Result<QString>) { late = true; });
        }
        // Wait until the recognition has really ended, then for anything it might still deliver.
        QVERIFY(QThreadPool::globalInstance()->waitForDone(60000));
        QCoreApplication::processEvents();
        QTest::qWait(50);
        QVERIFY(!late);
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestOCRService test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_ocrservice.moc"
