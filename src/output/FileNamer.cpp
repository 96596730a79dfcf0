// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/FileNamer.h"

namespace FileNamer {

namespace {

QString pad(int value, int width)
{
    // Zero-filled to a minimum width; wider values (a five-digit year) are kept whole.
    QString digits = QString::number(std::abs(static_cast<long long>(value)));
    if (digits.size() < width)
        digits.prepend(QString(width - digits.size(), u'0'));
    return value < 0 ? u'-' + digits : digits;
}

bool isTrimmable(QChar c)
{
    return c.isSpace() || c.category() == QChar::Separator_Line;
}

QString truncatedToUtf8Bytes(const QString &text, int maxBytes)
{
    if (text.toUtf8().size() <= maxBytes)
        return text;
    QString result;
    int bytes = 0;
    for (qsizetype i = 0; i < text.size();) {
        // Whole code points only, so a surrogate pair is never split.
        const qsizetype length = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString piece = text.mid(i, length);
        const int pieceBytes = int(piece.toUtf8().size());
        if (bytes + pieceBytes > maxBytes)
            break;
        result += piece;
        bytes += pieceBytes;
        i += length;
    }
    return result;
}

} // namespace

QString render(const QString &pattern, const QDateTime &date, const QTimeZone &timeZone)
{
    // Where the system has no zone data the zone is invalid, and so is a date converted to it: the local
    // time the C library gives (UTC when it knows nothing else) names the file instead, never zeros.
    QDateTime local = date.isValid() && timeZone.isValid() ? date.toTimeZone(timeZone) : QDateTime();
    if (!local.isValid() && date.isValid())
        local = date.toLocalTime();
    if (!local.isValid() && date.isValid())
        local = date.toUTC();
    const QDate day = local.date();
    const QTime time = local.time();
    const int year = day.isValid() ? day.year() : 0;
    const int month = day.isValid() ? day.month() : 0;
    const int dayOfMonth = day.isValid() ? day.day() : 0;
    const int hour = time.isValid() ? time.hour() : 0;
    const int minute = time.isValid() ? time.minute() : 0;
    const int second = time.isValid() ? time.second() : 0;

    const QString yyyy = pad(year, 4), MM = pad(month, 2), dd = pad(dayOfMonth, 2);
    const QString HH = pad(hour, 2), mm = pad(minute, 2), ss = pad(second, 2);
    const std::pair<QString, QString> tokens[] = {
        {QStringLiteral("{date}"), yyyy + u'-' + MM + u'-' + dd},
        {QStringLiteral("{time}"), HH + u'.' + mm + u'.' + ss},
        {QStringLiteral("{yyyy}"), yyyy},
        {QStringLiteral("{MM}"), MM},
        {QStringLiteral("{dd}"), dd},
        {QStringLiteral("{HH}"), HH},
        {QStringLiteral("{mm}"), mm},
        {QStringLiteral("{ss}"), ss},
    };

    QString name = pattern;
    for (const auto &[token, value] : tokens)
        name.replace(token, value);
    name.replace(u'/', u'-');
    name.replace(u':', u'-');

    // A name is one line: line breaks and other control characters would make files that no one can type.
    for (QChar &c : name) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = u' ';
    }

    qsizetype start = 0, end = name.size();
    while (start < end && isTrimmable(name.at(start)))
        ++start;
    while (end > start && isTrimmable(name.at(end - 1)))
        --end;
    name = name.mid(start, end - start);

    name = truncatedToUtf8Bytes(name, maxBaseNameBytes);
    while (!name.isEmpty() && isTrimmable(name.back()))
        name.chop(1);

    // "." and ".." would name the folder itself or its parent.
    if (name.isEmpty() || name == u"." || name == u"..")
        return QStringLiteral("Capture");
    return name;
}

} // namespace FileNamer
