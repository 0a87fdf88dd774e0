// The bounds-checked property reader (task and journal properties, single
// raw properties) on arbitrary blocks.
#include "FuzzPstFile.h"

#include "sorrel/store/PstExtraProperties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzPstFile f(data, size);
    if (pst_desc_tree* d = f.descriptor()) {
        pstReadExtraProperties(f.file(), d);
        for (uint32_t id : {0x001Au, 0x0037u, 0x1000u, 0x3007u, 0x8101u})
            pstReadRawProperty(f.file(), d, id);
    }
    return 0;
}
