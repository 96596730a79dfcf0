// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/FileNamer.h"

#include <QTest>

class TestFileNamer : public QObject {
    Q_OBJECT

    const QTimeZone utc = QTimeZone::utc();
    QDateTime at(int y, int mo, int d, int h, int mi, int s) const
    {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s), utc);
    }

private slots:
    void tokens_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        QTest::newRow("default") << "Capture {date} à {time}"
                                 << "Capture 2026-12-05 à 17.51.13";
        QTest::newRow("fields") << "{yyyy}{MM}{dd}-{HH}{mm}{ss}"
                                << "20261205-175113";
        QTest::newRow("MM is month, mm is minute") << "{MM}|{mm}"
                                                   << "12|51";
        QTest::newRow("case-sensitive, unknown kept") << "{DATE} {foo} {Date}"
                                                      << "{DATE} {foo} {Date}";
        QTest::newRow("repeated") << "{ss}{ss}-{date}{date}"
                                  << "1313-2026-12-052026-12-05";
        QTest::newRow("slash and colon") << "a/b:c {time}"
                                         << "a-b-c 17.51.13";
        QTest::newRow("trimmed ends, inner spaces kept") << "  x  y \t\n"
                                                         << "x  y";
        QTest::newRow("empty") << ""
                               << "Capture";
        QTest::newRow("only spaces") << "   \t "
                                     << "Capture";
        QTest::newRow("only tokens") << "{HH}"
                                     << "17";
        QTest::newRow("unclosed brace") << "{date"
                                        << "{date";
    }
    void tokens()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        QCOMPARE(FileNamer::render(pattern, at(2026, 12, 5, 17, 51, 13), utc), expected);
    }

    void paddingAndTimeZone()
    {
        QCOMPARE(FileNamer::render("a/b:c {time}", at(2026, 1, 2, 9, 5, 7), utc), QString("a-b-c 09.05.07"));
        QCOMPARE(FileNamer::render("{date}", at(987, 3, 4, 0, 0, 0), utc), QString("0987-03-04"));
        // A five-digit year keeps all its digits.
        QCOMPARE(FileNamer::render("{yyyy}", at(12345, 6, 7, 8, 9, 10), utc), QString("12345"));
        // The instant is broken into fields in the given zone: 23:30 UTC is the next day in Paris.
        const QTimeZone paris("Europe/Paris");
        QVERIFY(paris.isValid());
        QCOMPARE(FileNamer::render("{date} {time}", at(2026, 12, 31, 23, 30, 0), paris),
                 QString("2027-01-01 00.30.00"));
    }

    // A system without time-zone data: the zone is invalid, the name still has today's date and time.
    void withoutTimeZoneDataTheLocalTimeNamesTheFile()
    {
        const QDateTime now = QDateTime::currentDateTime();
        const QString name = FileNamer::render("{date} {time}", now, QTimeZone());
        QCOMPARE(name, now.toLocalTime().toString("yyyy-MM-dd HH.mm.ss"));
        QVERIFY(!name.startsWith("0000"));
        // The same from the pipeline's own call, with an invalid system zone.
        QCOMPARE(FileNamer::render("{yyyy}", at(2026, 12, 7, 12, 0, 0), QTimeZone("Nowhere/Invalid")),
                 at(2026, 12, 7, 12, 0, 0).toLocalTime().toString("yyyy"));
    }

    void invalidDateCountsAsZero()
    {
        QCOMPARE(FileNamer::render("{date} {time}", QDateTime(), utc), QString("0000-00-00 00.00.00"));
    }

    // Whatever the pattern, the result is one non-empty file name that stays in the capture folder.
    void hostilePatterns_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("newlines") << "a\nb\r\nc";
        QTest::newRow("dot dot") << "..";
        QTest::newRow("dot") << ".";
        QTest::newRow("traversal") << "../../etc/passwd";
        QTest::newRow("long") << QString(600, u'é');
        QTest::newRow("long emoji") << QString::fromUtf8("😀").repeated(100);
        QTest::newRow("nul") << QString("a") + QChar(0) + "b";
        QTest::newRow("only newlines") << "\n\n\r";
        QTest::newRow("tokens with colon") << "{HH}:{mm}:{ss}";
    }
    void hostilePatterns()
    {
        QFETCH(QString, pattern);
        const QString name = FileNamer::render(pattern, at(2026, 12, 5, 17, 51, 13), utc);
        QVERIFY(!name.isEmpty());
        QVERIFY(!name.contains(u'/'));
        QVERIFY(!name.contains(u'\n') && !name.contains(u'\r') && !name.contains(QChar(0)));
        QVERIFY(name != "." && name != "..");
        QVERIFY(name.toUtf8().size() <= FileNamer::maxBaseNameBytes);
        QVERIFY(!name.front().isSpace() && !name.back().isSpace());
        // No half of a surrogate pair at the cut.
        QVERIFY(!name.back().isHighSurrogate());
        QCOMPARE(QString::fromUtf8(name.toUtf8()), name);
    }
};

QTEST_APPLESS_MAIN(TestFileNamer)
#include "tst_filenamer.moc"
