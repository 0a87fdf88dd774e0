// The item parse path behind the validating layer: whatever passes our
// checks goes on to libpst's item parse, the item records and the
// attachments, and the same node read as a name-to-id map. A crash here is a
// damaged structure our checks let through.
#include "FuzzPstFile.h"

#include "sorrel/items/PstItemFactory.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/store/PstSafeParse.h"

#include <QCoreApplication>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzPstFile f(data, size);
    pst_desc_tree* d = f.descriptor();
    if (!d)
        return 0;
    pst_file* pf = f.file();
    if (pst_item* item = pstParseItemChecked(pf, d)) {
        std::shared_ptr<PstItem> record = createItemRecord(pf, d, item);
        if (record)
            record->searchText();
        for (pst_item_attach* a = item->attach; a; a = a->next) {
            if (pst_item* embedded = pstParseEmbeddedChecked(pf, a))
                pst_freeItem(embedded);
            pst_binary bin = pstAttachToMemChecked(pf, a);
            std::free(bin.data);
        }
        pst_freeItem(item);
    }
    if (pstLoadExtendedAttributesChecked(pf) == PstNameMapResult::Loaded) {
        // libpst keeps the map on the file; this file dies with the input.
        while (pst_x_attrib_ll* x = pf->x_head) {
            pf->x_head = x->next;
            std::free(x->data);
            std::free(x);
        }
    }
    return 0;
}
