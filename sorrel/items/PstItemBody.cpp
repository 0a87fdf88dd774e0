#include "sorrel/items/PstItemBody.h"

#include "sorrel/items/PstMailItem.h"
#include "sorrel/items/PstRtf.h"
#include "sorrel/items/PstTextDecoding.h"

QString PstItemBody::text() const
{
    return plain.isEmpty() && !html.isEmpty() ? PstMailItem::htmlToText(html) : plain;
}

QString PstItemBody::searchText() const
{
    const QString fromHtml = html.isEmpty() ? QString() : PstMailItem::htmlToText(html);
    if (fromHtml.isEmpty())
        return plain;
    if (plain.isEmpty())
        return fromHtml;
    return plain + QLatin1Char(' ') + fromHtml;
}

PstItemBody pstReadItemBody(pst_file* pf, pst_item* item)
{
    Q_UNUSED(pf);
    PstItemBody body;
    if (!item)
        return body;
    body.plain = decodeText(item, item->body);
    if (item->email)
        body.html = decodeHtml(item, item->email->htmlbody);
    // Outlook often keeps a body only as compressed RTF.
    if (body.isEmpty() && item->email && item->email->rtf_compressed.data && item->email->rtf_compressed.size) {
        const pst_binary& rtf = item->email->rtf_compressed;
        PstRtf::Body fromRtf = PstRtf::toBody(PstRtf::decompress(rtf.data, rtf.size));
        (fromRtf.html ? body.html : body.plain) = std::move(fromRtf.text);
    }
    return body;
}
