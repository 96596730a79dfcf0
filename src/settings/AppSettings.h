// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/ImageFormat.h"
#include "settings/VideoFormat.h"

#include <QSettings>
#include <QString>
#include <QStringList>

// Every persistent user choice, stored in ~/.config/Pim/Pim.conf. Values are read at the moment of use and
// never cached; each reader below applies the one fallback rule of its key, so every caller gets the same
// effective value.
class AppSettings {
public:
    static AppSettings &shared();

    // Key names.
    static inline const QString destinationDirectoryKey = QStringLiteral("destinationDirectory");
    static inline const QString filenamePatternKey = QStringLiteral("filenamePattern");
    static inline const QString imageFormatKey = QStringLiteral("imageFormat");
    static inline const QString imageQualityKey = QStringLiteral("imageQuality");
    static inline const QString ocrLanguagesKey = QStringLiteral("ocrLanguages");
    static inline const QString hasSeenWelcomeKey = QStringLiteral("hasSeenWelcome");
    static inline const QString showLoupeKey = QStringLiteral("showLoupe");
    static inline const QString videoFormatKey = QStringLiteral("videoFormat");
    static inline const QString framesPerSecondKey = QStringLiteral("framesPerSecond");
    static inline const QString showPointerKey = QStringLiteral("recordPointer");

    static inline const QString defaultFilenamePattern = QStringLiteral("Capture {date} à {time}");
    static inline const QStringList defaultOcrLanguages = {QStringLiteral("fr-FR"), QStringLiteral("en-US")};
    static constexpr double defaultImageQuality = 0.85;

    // The underlying store, for the keys that have no typed accessor (the shortcut bindings).
    QSettings &defaults() { return m_defaults; }

    // Folder into which captures are written: the stored path with a leading "~" expanded, else the Desktop.
    QString destinationDirectory();
    // The stored pattern, or the default one when absent or not text.
    QString filenamePattern();
    // The stored format when it is exactly "png", "jpeg" or "webp" and can be encoded, else PNG.
    ImageFormat imageFormat();
    // 0.85 when absent, zero or not a number; otherwise clamped to 0.5 … 1.0.
    double imageQuality();
    // The stored list of language tags, or "fr-FR", "en-US" when absent or not a list of tags.
    QStringList ocrLanguages();
    bool hasSeenWelcome();
    // The overlay's loupe: shown unless "false" is stored.
    bool showLoupe();
    // Recordings: the stored format when it is exactly "mp4", "webm" or "gif", else MP4; the stored frame
    // rate when it is 15, 30 or 60, else 30; the pointer drawn in unless "false" is stored.
    VideoFormat videoFormat();
    int framesPerSecond();
    bool showPointer();

    // Writers, with the rules that shape stored values.
    void setDestinationDirectory(const QString &absolutePath);
    // Trims spaces and tabs at both ends; an empty result stores the default pattern. Returns what was
    // stored.
    QString setFilenamePattern(const QString &text);
    void setImageFormat(ImageFormat format);
    void setImageQuality(double quality);
    // Splits at ",", trims spaces and tabs, drops empty pieces; nothing left stores the default list.
    // Returns what was stored.
    QStringList setOcrLanguages(const QString &text);
    void setHasSeenWelcome(bool seen);
    void setShowLoupe(bool show);
    void setVideoFormat(VideoFormat format);
    void setFramesPerSecond(int rate);
    void setShowPointer(bool show);

    // Effective-value rules, as pure functions of the stored value (an invalid QVariant is an absent key).
    static ImageFormat imageFormatFrom(const QVariant &stored);
    static double imageQualityFrom(const QVariant &stored);
    static QStringList ocrLanguagesFrom(const QVariant &stored);
    static VideoFormat videoFormatFrom(const QVariant &stored);
    static int framesPerSecondFrom(const QVariant &stored);

private:
    AppSettings();
    QVariant read(const QString &key);

    QSettings m_defaults;
};
