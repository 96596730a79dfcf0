// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/AppSettings.h"

#include <QDir>
#include <QStandardPaths>
#include <QTest>

class TestAppSettings : public QObject {
    Q_OBJECT

    AppSettings &settings = AppSettings::shared();
    QSettings &store() { return settings.defaults(); }

private slots:
    void init() { store().clear(); }

    void storedInThePimConfigFile()
    {
        settings.setHasSeenWelcome(true);
        const QString expected = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Pim/Pim.conf";
        QCOMPARE(store().fileName(), expected);
        QVERIFY(QFile::exists(expected));
        QVERIFY(settings.hasSeenWelcome());
    }

    void defaultsWhenAbsent()
    {
        QCOMPARE(settings.filenamePattern(), QString("Capture {date} à {time}"));
        QCOMPARE(settings.imageFormat(), ImageFormat::png);
        QCOMPARE(settings.imageQuality(), 0.85);
        QCOMPARE(settings.ocrLanguages(), QStringList({"fr-FR", "en-US"}));
        QCOMPARE(settings.hasSeenWelcome(), false);
        QCOMPARE(settings.destinationDirectory(),
                 QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    }

    void destinationExpandsTilde()
    {
        store().setValue(AppSettings::destinationDirectoryKey, "~/Captures");
        QCOMPARE(settings.destinationDirectory(), QDir::homePath() + "/Captures");
        store().setValue(AppSettings::destinationDirectoryKey, "/srv/shots");
        QCOMPARE(settings.destinationDirectory(), QString("/srv/shots"));
        // "~user" is not this user's home folder: like any relative path, it is taken from the home folder.
        store().setValue(AppSettings::destinationDirectoryKey, "~other/x");
        QCOMPARE(settings.destinationDirectory(), QDir::homePath() + "/~other/x");
        store().setValue(AppSettings::destinationDirectoryKey, "Captures");
        QCOMPARE(settings.destinationDirectory(), QDir::homePath() + "/Captures");
        // Empty counts as absent.
        store().setValue(AppSettings::destinationDirectoryKey, "");
        QCOMPARE(settings.destinationDirectory(),
                 QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    }

    void qualityRule_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("effective");
        QTest::newRow("absent") << QVariant() << 0.85;
        QTest::newRow("zero") << QVariant(0.0) << 0.85;
        QTest::newRow("low") << QVariant(0.3) << 0.5;
        QTest::newRow("high") << QVariant(1.7) << 1.0;
        QTest::newRow("in range") << QVariant(0.7) << 0.7;
        QTest::newRow("negative") << QVariant(-2.0) << 0.5;
        QTest::newRow("as read back from the file") << QVariant("0.65") << 0.65;
        QTest::newRow("words") << QVariant("élevée") << 0.85;
        QTest::newRow("nan") << QVariant("nan") << 0.85;
        QTest::newRow("list") << QVariant(QStringList{"a", "b"}) << 0.85;
    }
    void qualityRule()
    {
        QFETCH(QVariant, stored);
        QFETCH(double, effective);
        QCOMPARE(AppSettings::imageQualityFrom(stored), effective);
        if (stored.isValid())
            store().setValue(AppSettings::imageQualityKey, stored);
        QCOMPARE(settings.imageQuality(), effective);
    }

    void formatRule_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<ImageFormat>("effective");
        QTest::newRow("png") << QVariant("png") << ImageFormat::png;
        QTest::newRow("jpeg") << QVariant("jpeg") << ImageFormat::jpeg;
        QTest::newRow("webp") << QVariant("webp") << ImageFormat::webp;
        QTest::newRow("upper case") << QVariant("JPEG") << ImageFormat::png;
        QTest::newRow("extension is not the raw value") << QVariant("jpg") << ImageFormat::png;
        QTest::newRow("number") << QVariant(2) << ImageFormat::png;
        QTest::newRow("absent") << QVariant() << ImageFormat::png;
    }
    void formatRule()
    {
        QFETCH(QVariant, stored);
        QFETCH(ImageFormat, effective);
        QCOMPARE(AppSettings::imageFormatFrom(stored), effective);
    }

    // Recordings: only the exact words and rates count; anything else is the default.
    void recordingRules()
    {
        QCOMPARE(AppSettings::videoFormatFrom(QVariant()), VideoFormat::mp4);
        QCOMPARE(AppSettings::videoFormatFrom(QStringLiteral("webm")), VideoFormat::webm);
        QCOMPARE(AppSettings::videoFormatFrom(QStringLiteral("GIF")), VideoFormat::mp4);
        QCOMPARE(AppSettings::videoFormatFrom(42), VideoFormat::mp4);
        QCOMPARE(AppSettings::framesPerSecondFrom(QVariant()), 30);
        QCOMPARE(AppSettings::framesPerSecondFrom(QStringLiteral("60")), 60);
        QCOMPARE(AppSettings::framesPerSecondFrom(QStringLiteral("25")), 30);
        QCOMPARE(AppSettings::framesPerSecondFrom(QStringLiteral("x")), 30);
        QCOMPARE(videoFormatOfFile(QStringLiteral("/a/Capture 1.WebM")),
                 std::optional<VideoFormat>(VideoFormat::webm));
        QCOMPARE(videoFormatOfFile(QStringLiteral("/a.mp4/b")), std::nullopt);
        QCOMPARE(videoFormatOfFile(QStringLiteral("/a/b.png")), std::nullopt);
        AppSettings::shared().setFramesPerSecond(7);
        QCOMPARE(AppSettings::shared().framesPerSecond(), 30);
    }

    void formatTable()
    {
        QCOMPARE(fileExtension(ImageFormat::jpeg), QString("jpg"));
        QCOMPARE(rawValue(ImageFormat::jpeg), QString("jpeg"));
        QCOMPARE(title(ImageFormat::webp), QString("WebP"));
        // Every format is installed on our machines, in table order.
        QCOMPARE(availableImageFormats(),
                 QList<ImageFormat>({ImageFormat::png, ImageFormat::jpeg, ImageFormat::webp}));
        settings.setImageFormat(ImageFormat::webp);
        QCOMPARE(settings.imageFormat(), ImageFormat::webp);
    }

    void languagesRule_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QStringList>("effective");
        const QStringList fallback{"fr-FR", "en-US"};
        QTest::newRow("list") << QVariant(QStringList{"de-DE", "zh-Hans"}) << QStringList{"de-DE", "zh-Hans"};
        QTest::newRow("one, as read back from the file") << QVariant("en-GB") << QStringList{"en-GB"};
        QTest::newRow("number") << QVariant(3) << fallback;
        // Text is used as it stands, even when it is no tag: the recognition reports what it cannot read.
        QTest::newRow("number read back as text") << QVariant("3") << QStringList{"3"};
        QTest::newRow("a language name")
            << QVariant(QStringList{"français", "en-US"}) << QStringList{"français", "en-US"};
        QTest::newRow("boolean") << QVariant(true) << fallback;
        QTest::newRow("absent") << QVariant() << fallback;
    }
    void languagesRule()
    {
        QFETCH(QVariant, stored);
        QFETCH(QStringList, effective);
        QCOMPARE(AppSettings::ocrLanguagesFrom(stored), effective);
    }

    void writersShapeStoredValues()
    {
        QCOMPARE(settings.setFilenamePattern(" \t Shot {time}\t "), QString("Shot {time}"));
        QCOMPARE(settings.filenamePattern(), QString("Shot {time}"));
        QCOMPARE(settings.setFilenamePattern(" \t "), QString("Capture {date} à {time}"));
        // Newlines are not trimmed by the writer (the renderer deals with them).
        QCOMPARE(settings.setFilenamePattern("\nA "), QString("\nA"));

        QCOMPARE(settings.setOcrLanguages(" de-DE ,, \tit-IT,"), QStringList({"de-DE", "it-IT"}));
        QCOMPARE(settings.ocrLanguages(), QStringList({"de-DE", "it-IT"}));
        QCOMPARE(settings.setOcrLanguages(" , "), QStringList({"fr-FR", "en-US"}));
        QCOMPARE(settings.setOcrLanguages("ja"), QStringList({"ja"}));
        QCOMPARE(settings.ocrLanguages(), QStringList({"ja"}));
    }

    // Values written by one store are what a fresh store reading the file sees (the next start).
    void survivesTheFile()
    {
        settings.setImageQuality(0.6);
        settings.setOcrLanguages("en-GB");
        settings.setImageFormat(ImageFormat::jpeg);
        QSettings fresh(store().fileName(), QSettings::IniFormat);
        QCOMPARE(AppSettings::imageQualityFrom(fresh.value(AppSettings::imageQualityKey)), 0.6);
        QCOMPARE(AppSettings::ocrLanguagesFrom(fresh.value(AppSettings::ocrLanguagesKey)),
                 QStringList{"en-GB"});
        QCOMPARE(AppSettings::imageFormatFrom(fresh.value(AppSettings::imageFormatKey)), ImageFormat::jpeg);
    }
};

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
