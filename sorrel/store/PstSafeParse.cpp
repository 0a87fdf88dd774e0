#include "sorrel/store/PstSafeParse.h"

pst_item* pstParseItemChecked(pst_file* pf, pst_desc_tree* d)
{
    if (!pf || !d)
        return nullptr;
    return pst_parse_item(pf, d, nullptr);
}

pst_item* pstParseEmbeddedChecked(pst_file* pf, pst_item_attach* attach)
{
    if (!pf || !attach || attach->method != PST_ATTACH_EMBEDDED || !attach->i_id)
        return nullptr;
    // The embedded message is the attachment's own object: a descriptor made
    // up from its block and subnode ids, its subnodes from the attachment.
    pst_desc_tree d{};
    d.d_id = attach->id2_val;
    d.desc = pst_getID(pf, attach->i_id);
    if (!d.desc)
        return nullptr;
    return pst_parse_item(pf, &d, attach->id2_head);
}
