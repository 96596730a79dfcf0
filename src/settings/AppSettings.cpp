// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/AppSettings.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace {

QString trimmedOfSpacesAndTabs(const QString &text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (start < end && blank(text.at(start)))
        ++start;
    while (end > start && blank(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

bool isText(const QVariant &value)
{
    return value.typeId() == QMetaType::QString;
}

} // namespace

AppSettings &AppSettings::shared()
{
    static AppSettings instance;
    return instance;
}

AppSettings::AppSettings()
    : m_defaults(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                     QStringLiteral("/Pim/Pim.conf"),
                 QSettings::IniFormat)
{}

QVariant AppSettings::read(const QString &key)
{
    // Picks up changes another Pim process or the user made to the file since the last read.
    m_defaults.sync();
    return m_defaults.value(key);
}

QString AppSettings::destinationDirectory()
{
    // An empty value counts as absent, and a relative one is taken from the home folder: captures never
    // land in whatever folder Pim happened to be started from.
    const QVariant stored = read(destinationDirectoryKey);
    const QString path = isText(stored) ? stored.toString() : QString();
    if (path.isEmpty()) {
        const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        return desktop.isEmpty() ? QDir::homePath() + QStringLiteral("/Desktop") : desktop;
    }
    if (path == u"~")
        return QDir::homePath();
    if (path.startsWith(u"~/"))
        return QDir::homePath() + path.mid(1);
    if (QDir::isRelativePath(path))
        return QDir::home().filePath(path);
    return path;
}

QString AppSettings::filenamePattern()
{
    const QVariant stored = read(filenamePatternKey);
    return isText(stored) ? stored.toString() : defaultFilenamePattern;
}

ImageFormat AppSettings::imageFormatFrom(const QVariant &stored)
{
    if (!isText(stored))
        return ImageFormat::png;
    const std::optional<ImageFormat> format = imageFormatFromRawValue(stored.toString());
    if (!format || !isEncodingSupported(*format))
        return ImageFormat::png;
    return *format;
}

ImageFormat AppSettings::imageFormat()
{
    return imageFormatFrom(read(imageFormatKey));
}

double AppSettings::imageQualityFrom(const QVariant &stored)
{
    // The INI file keeps every number as text, so text that reads as a number is that number; anything
    // else counts as absent.
    double value = 0.0;
    if (stored.isValid()) {
        bool ok = false;
        const double parsed = stored.toDouble(&ok);
        if (ok && std::isfinite(parsed))
            value = parsed;
    }
    if (value == 0.0)
        return defaultImageQuality;
    return std::min(std::max(value, 0.5), 1.0);
}

double AppSettings::imageQuality()
{
    return imageQualityFrom(read(imageQualityKey));
}

QStringList AppSettings::ocrLanguagesFrom(const QVariant &stored)
{
    // Used as stored: the preferences field shapes what it writes, and a tag without installed data is
    // reported by the recognition itself. A one-element list comes back from the INI file as plain text,
    // so text is a list of one.
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList();
    if (isText(stored))
        return QStringList{stored.toString()};
    return defaultOcrLanguages;
}

QStringList AppSettings::ocrLanguages()
{
    return ocrLanguagesFrom(read(ocrLanguagesKey));
}

bool AppSettings::hasSeenWelcome()
{
    const QVariant stored = read(hasSeenWelcomeKey);
    return stored.isValid() && stored.toString() == u"true";
}

void AppSettings::setDestinationDirectory(const QString &absolutePath)
{
    m_defaults.setValue(destinationDirectoryKey, absolutePath);
    m_defaults.sync();
}

QString AppSettings::setFilenamePattern(const QString &text)
{
    QString pattern = trimmedOfSpacesAndTabs(text);
    if (pattern.isEmpty())
        pattern = defaultFilenamePattern;
    m_defaults.setValue(filenamePatternKey, pattern);
    m_defaults.sync();
    return pattern;
}

void AppSettings::setImageFormat(ImageFormat format)
{
    m_defaults.setValue(imageFormatKey, rawValue(format));
    m_defaults.sync();
}

void AppSettings::setImageQuality(double quality)
{
    m_defaults.setValue(imageQualityKey, quality);
    m_defaults.sync();
}

QStringList AppSettings::setOcrLanguages(const QString &text)
{
    QStringList languages;
    for (const QString &piece : text.split(u',')) {
        const QString trimmed = trimmedOfSpacesAndTabs(piece);
        if (!trimmed.isEmpty())
            languages.append(trimmed);
    }
    if (languages.isEmpty())
        languages = defaultOcrLanguages;
    m_defaults.setValue(ocrLanguagesKey, languages);
    m_defaults.sync();
    return languages;
}

bool AppSettings::showLoupe()
{
    const QVariant stored = read(showLoupeKey);
    return !(stored.isValid() && stored.toString() == u"false");
}

void AppSettings::setShowLoupe(bool show)
{
    m_defaults.setValue(showLoupeKey, show);
    m_defaults.sync();
}

void AppSettings::setHasSeenWelcome(bool seen)
{
    m_defaults.setValue(hasSeenWelcomeKey, seen);
    m_defaults.sync();
}

VideoFormat AppSettings::videoFormatFrom(const QVariant &stored)
{
    const std::optional<VideoFormat> format =
        isText(stored) ? videoFormatFromRawValue(stored.toString()) : std::nullopt;
    return format.value_or(VideoFormat::mp4);
}

VideoFormat AppSettings::videoFormat()
{
    return videoFormatFrom(read(videoFormatKey));
}

void AppSettings::setVideoFormat(VideoFormat format)
{
    m_defaults.setValue(videoFormatKey, rawValue(format));
    m_defaults.sync();
}

int AppSettings::framesPerSecondFrom(const QVariant &stored)
{
    bool ok = false;
    const int rate = stored.isValid() ? stored.toString().toInt(&ok) : 0;
    for (int offered : videoFrameRates) {
        if (ok && rate == offered)
            return rate;
    }
    return 30;
}

int AppSettings::framesPerSecond()
{
    return framesPerSecondFrom(read(framesPerSecondKey));
}

void AppSettings::setFramesPerSecond(int rate)
{
    m_defaults.setValue(framesPerSecondKey, framesPerSecondFrom(rate));
    m_defaults.sync();
}

bool AppSettings::showPointer()
{
    const QVariant stored = read(showPointerKey);
    return !(stored.isValid() && stored.toString() == u"false");
}

void AppSettings::setShowPointer(bool show)
{
    m_defaults.setValue(showPointerKey, show);
    m_defaults.sync();
}
