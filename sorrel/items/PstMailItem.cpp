#include "sorrel/items/PstMailItem.h"

#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstTextDecoding.h"
#include "sorrel/store/PstSafeParse.h"

#include <QHash>
#include <QSet>
#include <QRegularExpression>
#include <QStringList>

namespace {

PstMailItem::HtmlToText& installedHtmlToText()
{
    static PstMailItem::HtmlToText convert;
    return convert;
}

QString decodeEntities(const QString& s)
{
    static const QHash<QString, QChar> named = {
        {QStringLiteral("amp"), QLatin1Char('&')},   {QStringLiteral("lt"), QLatin1Char('<')},
        {QStringLiteral("gt"), QLatin1Char('>')},    {QStringLiteral("quot"), QLatin1Char('"')},
        {QStringLiteral("apos"), QLatin1Char('\'')}, {QStringLiteral("nbsp"), QLatin1Char(' ')},
        {QStringLiteral("copy"), QChar(0xA9)},       {QStringLiteral("reg"), QChar(0xAE)},
        {QStringLiteral("hellip"), QChar(0x2026)},   {QStringLiteral("mdash"), QChar(0x2014)},
        {QStringLiteral("ndash"), QChar(0x2013)},    {QStringLiteral("rsquo"), QChar(0x2019)},
        {QStringLiteral("lsquo"), QChar(0x2018)},    {QStringLiteral("rdquo"), QChar(0x201D)},
        {QStringLiteral("ldquo"), QChar(0x201C)},
    };
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s.at(i) != QLatin1Char('&')) {
            // The text up to the next entity in one piece.
            qsizetype amp = s.indexOf(QLatin1Char('&'), i);
            if (amp < 0)
                amp = s.size();
            out += QStringView(s).mid(i, amp - i);
            i = amp - 1;
            continue;
        }
        qsizetype semi = -1;
        for (qsizetype j = i + 1; j < s.size() && j <= i + 10; ++j) {
            if (s.at(j) == QLatin1Char(';')) {
                semi = j;
                break;
            }
        }
        if (semi < 0) {
            out += s.at(i);
            continue;
        }
        const QString ent = s.mid(i + 1, semi - i - 1);
        bool ok = false;
        char32_t code = 0;
        if (ent.startsWith(QLatin1String("#x"), Qt::CaseInsensitive))
            code = ent.mid(2).toUInt(&ok, 16);
        else if (ent.startsWith(QLatin1Char('#')))
            code = ent.mid(1).toUInt(&ok, 10);
        if (ok && code > 0 && code <= 0x10FFFF) {
            out += QString::fromUcs4(&code, 1);
            i = semi;
        } else if (auto it = named.constFind(ent.toLower()); it != named.cend()) {
            out += it.value();
            i = semi;
        } else {
            out += s.at(i);
        }
    }
    return out;
}

// Drops tags and the contents of script, style and head blocks, turns block
// ends into line breaks and decodes entities. Written as one forward scan so
// that hostile markup (thousands of unclosed tags) stays linear.
QString defaultHtmlToText(const QString& html)
{
    static const QStringList hidden = {QStringLiteral("script"), QStringLiteral("style"), QStringLiteral("head")};
    static const QStringList breaks = {QStringLiteral("br"),  QStringLiteral("/p"),  QStringLiteral("/div"),
                                       QStringLiteral("/tr"), QStringLiteral("/li"), QStringLiteral("/h1"),
                                       QStringLiteral("/h2"), QStringLiteral("/h3"), QStringLiteral("/h4"),
                                       QStringLiteral("/h5"), QStringLiteral("/h6")};
    bool unclosed[3] = {false, false, false};  // no closing tag left further on
    QString out;
    out.reserve(html.size());
    qsizetype i = 0;
    const qsizetype n = html.size();
    while (i < n) {
        if (html.at(i) != QLatin1Char('<')) {
            // The text up to the next tag in one piece.
            qsizetype lt = html.indexOf(QLatin1Char('<'), i);
            if (lt < 0)
                lt = n;
            out += QStringView(html).mid(i, lt - i);
            i = lt;
            continue;
        }
        const qsizetype close = html.indexOf(QLatin1Char('>'), i + 1);
        if (close < 0) {
            out += QStringView(html).mid(i);
            break;
        }
        qsizetype e = i + 1;
        if (e < close && html.at(e) == QLatin1Char('/'))
            ++e;
        while (e < close && html.at(e).isLetterOrNumber())
            ++e;
        const QString name = html.mid(i + 1, e - i - 1).toLower();
        i = close + 1;
        const qsizetype h = hidden.indexOf(name);
        if (h >= 0 && !unclosed[h]) {
            const qsizetype end = html.indexOf(QStringLiteral("</") + name, i, Qt::CaseInsensitive);
            if (end < 0) {
                unclosed[h] = true;
            } else {
                const qsizetype gt = html.indexOf(QLatin1Char('>'), end);
                i = gt < 0 ? n : gt + 1;
            }
            continue;
        }
        if (breaks.contains(name))
            out += QLatin1Char('\n');
    }
    return decodeEntities(out);
}

QString mimeForExtension(const QString& ext)
{
    if (ext == QLatin1String("png"))
        return QStringLiteral("image/png");
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
        return QStringLiteral("image/jpeg");
    if (ext == QLatin1String("gif"))
        return QStringLiteral("image/gif");
    if (ext == QLatin1String("bmp"))
        return QStringLiteral("image/bmp");
    return QStringLiteral("application/octet-stream");
}

bool isInlineImageName(const QString& name)
{
    for (const char* ext : {".png", ".jpg", ".jpeg", ".gif", ".bmp"}) {
        if (name.endsWith(QLatin1String(ext), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace

QString PstMailItem::title() const
{
    return text(PstKey::Sender);
}

QString PstMailItem::iconPath() const
{
    return QStringLiteral(":/img/contact@3x.png");
}

qint64 PstMailItem::sortTime() const
{
    return date(PstKey::SentDate);
}

QString PstMailItem::sender() const { return text(PstKey::Sender); }
QString PstMailItem::senderAddr() const { return text(PstKey::SenderAddr); }
QString PstMailItem::recipients() const { return text(PstKey::Recipients); }
QString PstMailItem::cc() const { return text(PstKey::Cc); }
QString PstMailItem::bcc() const { return text(PstKey::Bcc); }
qint64 PstMailItem::sentDate() const { return date(PstKey::SentDate); }
qint64 PstMailItem::arrivalDate() const { return date(PstKey::ArrivalDate); }

QString PstMailItem::senderAddrHtml() const
{
    const QString addr = senderAddr();
    return addr.isEmpty() ? QString() : QStringLiteral("&lt;%1&gt;").arg(addr);
}

QString PstMailItem::toLine() const
{
    const QString v = recipients();
    return v.isEmpty() ? QString() : QStringLiteral("To: %1").arg(v);
}

QString PstMailItem::ccLine() const
{
    const QString v = cc();
    return v.isEmpty() ? QString() : QStringLiteral("Cc: %1").arg(v);
}

QString PstMailItem::bccLine() const
{
    const QString v = bcc();
    return v.isEmpty() ? QString() : QStringLiteral("Bcc: %1").arg(v);
}

QString PstMailItem::sentDateText(const QString& format) const
{
    const qint64 s = sentDate();
    return s ? dateTextWithZone(s, format) : tr("No sent date");
}

QString PstMailItem::arrivalDateText(const QString& format) const
{
    const qint64 s = arrivalDate();
    return s ? dateTextWithZone(s, format) : tr("Unknown");
}

void PstMailItem::setHtmlToText(HtmlToText convert)
{
    installedHtmlToText() = std::move(convert);
}

QString PstMailItem::htmlToText(const QString& html)
{
    const HtmlToText& convert = installedHtmlToText();
    return convert ? convert(html) : defaultHtmlToText(html);
}

QString PstMailItem::fieldText(PstSearchField field, const PstItemBody& body) const
{
    switch (field) {
    case PstSearchField::Any: {
        const QString text = body.searchText();
        return text.isEmpty() ? searchText() : searchText() + QLatin1Char(' ') + text;
    }
    case PstSearchField::Subject:
        return subject();
    case PstSearchField::From:
        return sender() + QLatin1Char(' ') + senderAddr();
    case PstSearchField::Recipient:
        return recipients() + QLatin1Char(' ') + cc() + QLatin1Char(' ') + bcc();
    case PstSearchField::Body:
        return body.searchText();
    case PstSearchField::Attachment: {
        QStringList names;
        for (const auto& a : attachments())
            names << a->name;
        return names.join(QLatin1Char(' '));
    }
    }
    return QString();
}

QString PstMailItem::buildSearchText() const
{
    QStringList parts = baseSearchParts();
    auto add = [&parts](const QString& s) {
        const QString t = s.simplified();
        if (!t.isEmpty())
            parts << t;
    };
    add(sender());
    add(senderAddr());
    add(recipients());
    add(cc());
    add(bcc());
    for (const auto& a : attachments()) {
        add(a->name);
        add(a->contentId);
    }
    return parts.join(QLatin1Char(' '));
}

std::shared_ptr<PstItem> PstMailItem::clone() const
{
    auto copy = std::make_shared<PstMailItem>();
    copyBaseInto(*copy);
    return copy;
}

QString PstMailItem::plainBodyHtml(const QString& text)
{
    return QStringLiteral(
               "<html><head><meta charset='utf-8'></head><body style='font-family:\"Microsoft YaHei\",sans-serif;"
               "white-space:pre-wrap;word-wrap:break-word;'><div>%1</div></body></html>")
        .arg(text.toHtmlEscaped());
}

QString PstMailItem::displayHtml() const
{
    return displayHtml(loadBody());
}

QString PstMailItem::displayHtml(const PstItemBody& body) const
{
    const QString html = body.html.isEmpty() ? plainBodyHtml(body.plain) : body.html;
    return html.contains(QLatin1String("cid:")) ? inlineCidImages(html) : html;
}

QString PstMailItem::inlineCidImages(const QString& html) const
{
    static const QRegularExpression cidSrc(QStringLiteral("src=\"cid:([^\"]+)\""));
    QString result = html;
    QSet<QString> ids;
    for (auto it = cidSrc.globalMatch(html); it.hasNext();)
        ids.insert(it.next().captured(1));
    if (ids.isEmpty())
        return result;
    // The referenced raster images, read once for this call only.
    QHash<const Attachment*, QByteArray> images;
    parseAgain([&](pst_file* pf, pst_item* item) {
        for (const auto& a : attachments()) {
            if (!ids.contains(a->contentId) || !isInlineImageName(a->name))
                continue;
            for (pst_item_attach* pa = item->attach; pa; pa = pa->next) {
                if (pa->content_id.str && QString::fromUtf8(pa->content_id.str) == a->contentId) {
                    const QByteArray bytes = attachmentBytes(pf, pa);
                    if (!bytes.isEmpty())
                        images.insert(a.get(), bytes);
                    break;
                }
            }
        }
    });
    for (auto it = cidSrc.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        for (const auto& a : attachments()) {
            const QByteArray bytes = images.value(a.get());
            if (a->contentId != m.captured(1) || bytes.isEmpty())
                continue;
            const qsizetype dot = a->name.lastIndexOf(QLatin1Char('.'));
            const QString ext = dot >= 0 ? a->name.mid(dot + 1).toLower() : QString();
            result.replace(m.captured(0), QStringLiteral("src=\"data:%1;base64,%2\"")
                                              .arg(mimeForExtension(ext), QString::fromLatin1(bytes.toBase64())));
        }
    }
    return result;
}
