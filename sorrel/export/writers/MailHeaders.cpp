#include "sorrel/export/writers/MailHeaders.h"

#include <QRegularExpression>

#include <cstring>
#include <ctime>

namespace mailheaders {

namespace {

const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Seconds of 1970-01-01 and of 3000-12-31 23:59:59 UTC.
constexpr qint64 kFirstDate = 0;
constexpr qint64 kLastDate = 32535215999;

bool startsWithNoCase(const QByteArray& text, qsizetype pos, const char* prefix)
{
    const qsizetype n = qsizetype(std::strlen(prefix));
    return pos + n <= text.size() && qstrnicmp(text.constData() + pos, prefix, n) == 0;
}

bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

// The generic form: "Name:" value "\r\n", continuation lines, then a line
// that starts a new field.
bool looksLikeHeaderBlock(const QByteArray& h)
{
    qsizetype p = 0;
    if (h.isEmpty() || !isUpper(h[0]))
        return false;
    ++p;
    while (p < h.size() && isNameChar(h[p]))
        ++p;
    if (p >= h.size() || h[p] != ':')
        return false;
    ++p;
    while (p < h.size() && (h[p] == '\t' || (h[p] >= ' ' && h[p] <= '~')))
        ++p;
    if (!startsWithNoCase(h, p, "\r\n"))
        return false;
    p += 2;
    while (p < h.size()) {
        if (h[p] != ' ' && h[p] != '\t')
            return true;
        const qsizetype next = h.indexOf("\r\n", p);
        if (next < 0)
            return false;
        p = next + 2;
    }
    return false;
}

} // namespace

bool validHeaders(const QByteArray& h)
{
    if (h.isEmpty())
        return false;
    static const char* const known[] = {
        "Content-Language: ", "Content-Type: ", "DKIM-Signature: ", "Date: ", "Delivered-To: ",
        "From: ", "MIME-Version: ", "Microsoft Mail Internet Headers", "Received: ", "Return-Path: ",
        "Subject: ", "To: ", "User-Agent: ", "X-ASG-Debug-ID: ", "X-Barracuda-URL: ", "X-x: "};
    for (const char* name : known) {
        if (startsWithNoCase(h, 0, name))
            return true;
        const qsizetype n = qsizetype(std::strlen(name));
        if (n >= 2 && name[n - 1] == ' ' && name[n - 2] == ':') {
            // The same name with a folded first line.
            const QByteArray bare(name, n - 1);
            if (startsWithNoCase(h, 0, bare.constData())
                && (startsWithNoCase(h, n - 1, "\r\n\t") || startsWithNoCase(h, n - 1, "\r\n ")))
                return true;
        }
    }
    return looksLikeHeaderBlock(h);
}

qsizetype headerFieldPos(const QByteArray& block, const QByteArray& name)
{
    if (name.isEmpty())
        return -1;
    if (startsWithNoCase(block, 0, name.constData()))
        return 0;
    for (qsizetype p = block.indexOf('\n'); p >= 0; p = block.indexOf('\n', p + 1)) {
        if (startsWithNoCase(block, p + 1, name.constData()))
            return p + 1;
    }
    return -1;
}

bool headerHasField(const QByteArray& block, const QByteArray& name)
{
    return headerFieldPos(block, name) >= 0;
}

qsizetype headerFieldEnd(const QByteArray& block, qsizetype pos)
{
    for (qsizetype p = block.indexOf('\n', pos); p >= 0; p = block.indexOf('\n', p + 1)) {
        if (p + 1 >= block.size() || (block[p + 1] != ' ' && block[p + 1] != '\t'))
            return p;
    }
    return block.size();
}

QByteArray headerGetSubfield(const QByteArray& block, qsizetype pos, const QByteArray& name, int maxLength)
{
    if (pos < 0 || pos >= block.size())
        return {};
    const qsizetype end = headerFieldEnd(block, pos);
    const QByteArray field = block.mid(pos, end - pos);
    const QByteArray needle = ' ' + name + '=';
    qsizetype at = -1;
    for (qsizetype p = 0; p + needle.size() <= field.size(); ++p) {
        if (qstrnicmp(field.constData() + p, needle.constData(), needle.size()) == 0) {
            at = p + needle.size();
            break;
        }
    }
    if (at < 0)
        return {};
    QByteArray value;
    if (at < field.size() && field[at] == '"') {
        const qsizetype close = field.indexOf('"', at + 1);
        value = field.mid(at + 1, (close < 0 ? field.size() : close) - at - 1);
    } else {
        qsizetype stop = at;
        while (stop < field.size() && field[stop] != ';' && field[stop] != '\n')
            ++stop;
        value = field.mid(at, stop - at);
    }
    return value.left(maxLength);
}

void headerStripField(QByteArray& block, const QByteArray& name)
{
    for (qsizetype pos = headerFieldPos(block, name); pos >= 0; pos = headerFieldPos(block, name)) {
        const qsizetype end = headerFieldEnd(block, pos);
        if (pos == 0) {
            block.remove(0, end < block.size() ? end + 1 : block.size());
        } else if (end >= block.size()) {
            block.truncate(pos - 1);
        } else {
            block.remove(pos - 1, end - (pos - 1));
        }
    }
}

QByteArray headerSafe(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size());
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '\t')
            out += ' ';
        else if (u >= 0x20 && u != 0x7F)
            out += c;
    }
    return out;
}

QByteArray rfc2047Encode(const QByteArray& utf8, bool quote)
{
    bool encode = false;
    bool special = false;
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E)
            encode = true;
        else if (std::strchr(" ()<>[]:;@\\,.\"", c))
            special = true;
    }
    if (encode)
        return "=?utf-8?B?" + utf8.toBase64() + "?=";
    if (quote && special)
        return '"' + quotedStringBody(utf8) + '"';
    return utf8;
}

QByteArray rfc2231Encode(const QByteArray& utf8)
{
    static const char hex[] = "0123456789abcdef";
    QByteArray out("utf-8''");
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')
            || (u != 0 && std::strchr("!#$&+-.^_`|~", c))) {
            out += c;
        } else {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 0xF];
        }
    }
    return out;
}

QByteArray quotedStringBody(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size() + 8);
    for (char c : headerSafe(value)) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

QByteArray htmlMetaCharset(const QByteArray& html)
{
    static const QRegularExpression meta(
        QStringLiteral("<meta\\s+[^>]*?(?:charset\\s*=\\s*[\"']?|content\\s*=\\s*\"[^\"]*?charset=)([A-Za-z0-9_-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = meta.match(QString::fromUtf8(html));
    if (!m.hasMatch())
        return {};
    return m.captured(1).trimmed().toLatin1().left(29);
}

QByteArray rfc2822Date(qint64 seconds)
{
    if (seconds < kFirstDate || seconds > kLastDate)
        return {};
    const time_t t = time_t(seconds);
    struct tm tm {};
    if (!gmtime_r(&t, &tm))
        return {};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d +0000", kWeekdays[tm.tm_wday], tm.tm_mday,
                  kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

QByteArray mboxSeparatorDate(qint64 seconds)
{
    const QByteArray fallback("Thu Jan 1 00:00:00 1970");
    if (seconds < kFirstDate || seconds > kLastDate)
        return fallback;
    const time_t t = time_t(seconds);
    struct tm tm {};
    if (!localtime_r(&t, &tm))
        return fallback;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %04d", kWeekdays[tm.tm_wday], kMonths[tm.tm_mon],
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
    return buf;
}

} // namespace mailheaders
