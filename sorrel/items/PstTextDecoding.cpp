#include "sorrel/items/PstTextDecoding.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QStringDecoder>
#include <QTextCodec>
#include <QtDebug>

#include <cstdlib>
#include <cstring>

namespace {

QByteArray bytesOf(const char* s)
{
    return s ? QByteArray(s, qsizetype(std::strlen(s))) : QByteArray();
}

// Strict UTF-8: false when any sequence is invalid.
bool strictUtf8(const QByteArray& bytes, QString* out)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString result = decoder.decode(bytes);
    if (decoder.hasError())
        return false;
    *out = result;
    return true;
}

QString lenientUtf8(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes);
}

// Decodes with the named encoding; false when no converter knows the name.
bool decodeWith(const char* encoding, const QByteArray& bytes, QString* out)
{
    QStringDecoder decoder(encoding);
    if (decoder.isValid()) {
        *out = decoder.decode(bytes);
        return true;
    }
    if (QTextCodec* codec = QTextCodec::codecForName(encoding)) {
        *out = codec->toUnicode(bytes);
        return true;
    }
    return false;
}

// Whether the item names the character set of its 8-bit strings. Without
// one libpst falls back to ISO-8859-1, which turns every other code page
// (GBK above all) into mojibake; our own byte heuristic does better then.
bool declaresCharset(const pst_item* item)
{
    return item && ((item->body_charset.str && *item->body_charset.str) || item->internet_cpid > 0
                    || item->message_codepage > 0);
}

// A private copy of the bytes converted by libpst with the item's code page.
// Returns false when the item declares no character set or the copy could
// not be made.
template <typename Fn>
bool withLibpstConversion(pst_item* item, const pst_string& str, Fn&& use)
{
    if (!declaresCharset(item))
        return false;
    char* dup = strdup(str.str);
    if (!dup)
        return false;
    pst_string copy;
    copy.is_utf8 = str.is_utf8;
    copy.str = dup;
    pst_convert_utf8(item, &copy);
    use(copy);
    std::free(copy.str);
    return true;
}

} // namespace

bool looksLikeGb18030(const char* bytes)
{
    if (!bytes)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const size_t n = std::strlen(bytes);
    auto lead = [](unsigned char b) { return b >= 0x81 && b <= 0xFE; };
    auto digit = [](unsigned char b) { return b >= '0' && b <= '9'; };
    size_t i = 0;
    int sequences = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            ++i;
        } else if (i + 3 < n && lead(p[i]) && digit(p[i + 1]) && lead(p[i + 2]) && digit(p[i + 3])) {
            sequences += 2;
            i += 4;
        } else if (i + 1 < n && lead(p[i]) && p[i + 1] >= 0x40 && p[i + 1] <= 0xFE && p[i + 1] != 0x7F) {
            sequences += 1;
            i += 2;
        } else {
            return false;
        }
    }
    return sequences > 0;
}

QString guessEightBit(const pst_string& str)
{
    if (!str.str)
        return QString();
    const QByteArray bytes = bytesOf(str.str);
    if (str.is_utf8 == 1)
        return lenientUtf8(bytes);
    QString out;
    if (looksLikeGb18030(str.str) && decodeWith("GB18030", bytes, &out))
        return out;
    if (decodeWith("Windows-1252", bytes, &out))
        return out;
    return QString::fromLatin1(bytes);
}

QString decodeText(pst_item* item, const pst_string& str)
{
    if (!str.str)
        return QString();
    QString out;
    if (strictUtf8(bytesOf(str.str), &out))
        return out;
    if (item && withLibpstConversion(item, str, [&](const pst_string& converted) { out = guessEightBit(converted); }))
        return out;
    return guessEightBit(str);
}

QString decodeHtml(pst_item* item, const pst_string& str)
{
    if (!str.str)
        return QString();
    const QByteArray bytes = bytesOf(str.str);
    QString out;
    if (strictUtf8(bytes, &out))
        return out;
    bool converted = false;
    if (item) {
        withLibpstConversion(item, str, [&](const pst_string& c) {
            converted = c.str && strictUtf8(bytesOf(c.str), &out);
        });
    }
    if (converted)
        return out;

    qDebug() << "utf8Decoder.hasError()";
    QTextCodec* codec = QTextCodec::codecForHtml(bytes);
    if (!codec)
        return lenientUtf8(bytes);
    const QString name = QString::fromLatin1(codec->name()).toUpper();
    if (name.contains(QLatin1String("GB2312")) || name.contains(QLatin1String("GBK"))) {
        if (QTextCodec* gb = QTextCodec::codecForName("GB18030"))
            return gb->toUnicode(bytes);
    }
    if (name == QLatin1String("ISO-8859-1"))
        return lenientUtf8(bytes);
    return codec->toUnicode(bytes);
}

qint64 filetimeToSeconds(const FILETIME* ft)
{
    if (!ft)
        return 0;
    const uint64_t ticks = (uint64_t(ft->dwHighDateTime) << 32) | uint64_t(ft->dwLowDateTime);
    return qint64(ticks / 10000000ULL) - 11644473600LL;
}

bool filetimeIsSet(const FILETIME* ft)
{
    constexpr uint64_t kOutlookNone = 0x0CB34557A3DD4000ULL;  // 4501-01-01 00:00 UTC
    if (!ft)
        return false;
    const uint64_t ticks = (uint64_t(ft->dwHighDateTime) << 32) | uint64_t(ft->dwLowDateTime);
    return ticks != 0 && ticks < kOutlookNone;
}

QString dateText(qint64 seconds, const QString& format)
{
    return QLocale::system().toString(QDateTime::fromSecsSinceEpoch(seconds), format);
}

QString optionalDateText(qint64 seconds, const QString& format)
{
    return seconds ? dateText(seconds, format) : QString();
}

QString zoneText(int offsetSeconds)
{
    const int magnitude = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
    QString text = QStringLiteral("GMT%1%2")
                       .arg(offsetSeconds >= 0 ? QStringLiteral("+") : QStringLiteral("-"))
                       .arg(magnitude / 3600);
    const int minutes = (magnitude % 3600) / 60;
    if (minutes > 0)
        text += QStringLiteral(":%1").arg(minutes, 2, 10, QLatin1Char('0'));
    return text;
}

QString dateTextWithZone(qint64 seconds, const QString& format)
{
    const QDateTime dt = QDateTime::fromSecsSinceEpoch(seconds);
    return QStringLiteral("%1 %2").arg(dateText(seconds, format), zoneText(dt.offsetFromUtc()));
}

QString filetimeText(const FILETIME* ft)
{
    if (!filetimeIsSet(ft))
        return QString();
    return dateText(filetimeToSeconds(ft), kDetailDateFormat);
}
