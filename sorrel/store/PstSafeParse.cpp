#include "sorrel/store/PstSafeParse.h"

pst_item* pstParseItemChecked(pst_file* pf, pst_desc_tree* d)
{
    if (!pf || !d)
        return nullptr;
    return pst_parse_item(pf, d, nullptr);
}
