#include "sorrel/export/writers/PstAttachmentIo.h"

#include "sorrel/items/PstRtf.h"
#include "sorrel/store/PstSafeParse.h"

#include <cstdlib>
#include <cstring>

namespace pstattachments {

bool hasData(pst_file* pf, pst_item_attach* attach)
{
    if (!attach)
        return false;
    if (attach->data.data)
        return true;
    return pf && attach->i_id && pst_getID(pf, attach->i_id);
}

size_t writeBase64(pst_file* pf, pst_item_attach* attach, FILE* out)
{
    if (!hasData(pf, attach) || !out)
        return 0;
    return pstAttachToFileBase64Checked(pf, attach, out);
}

size_t writeBase64(pst_file* pf, const QByteArray& bytes, FILE* out)
{
    if (bytes.isEmpty() || !out)
        return 0;
    // A record of our own that carries the bytes inline; libpst only reads it.
    pst_item_attach record;
    std::memset(&record, 0, sizeof record);
    record.data.size = size_t(bytes.size());
    record.data.data = const_cast<char*>(bytes.constData());
    return pstAttachToFileBase64Checked(pf, &record, out);
}

QByteArray bytes(pst_file* pf, pst_item_attach* attach)
{
    if (!hasData(pf, attach))
        return {};
    if (attach->data.data)
        return QByteArray(attach->data.data, qsizetype(attach->data.size));
    pst_binary b = pstAttachToMemChecked(pf, attach);
    QByteArray result;
    if (b.data && b.size)
        result = QByteArray(b.data, qsizetype(b.size));
    std::free(b.data);
    return result;
}

pst_item* parseEmbedded(pst_file* pf, pst_item_attach* attach)
{
    return pstParseEmbeddedChecked(pf, attach);
}

QByteArray decompressRtf(const pst_binary& compressed)
{
    // Through the header checks the viewer's bodies use: a damaged raw size
    // must not make libpst allocate gigabytes.
    return PstRtf::decompress(compressed.data, compressed.size);
}

} // namespace pstattachments
