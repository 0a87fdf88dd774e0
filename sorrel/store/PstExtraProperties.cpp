#include "sorrel/store/PstExtraProperties.h"

PstExtraProperties pstReadExtraProperties(pst_file* pf, pst_desc_tree* d)
{
    (void)pf;
    (void)d;
    return {};
}
