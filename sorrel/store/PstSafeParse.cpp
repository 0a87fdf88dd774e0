#include "sorrel/store/PstSafeParse.h"

pst_item* pstParseItemChecked(pst_file* pf, pst_desc_tree* d, pst_id2_tree* m_head)
{
    if (!pf || !d)
        return nullptr;
    return pst_parse_item(pf, d, m_head);
}
