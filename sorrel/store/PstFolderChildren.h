#pragma once
// Which child descriptors of a folder are the user's items and folders, and
// their records. Every walk over a file's folders (the child loader now; the
// background walk, the folder counts and the export walk too) reads a
// folder's children through pstReadFolderChild, so that all of them show the
// same objects. What is not the user's:
//  - folder-associated contents (node type 8: views, rules, configuration
//    messages Outlook keeps with a folder), skipped without parsing;
//  - folders Outlook hides: PR_ATTR_HIDDEN set, search folders (node type 3),
//    and beside the top of folders the store's search root and the system
//    folders of Outlook and Exchange ("~MAPISP(Internal)", "Drizzle", ...).

#include "sorrel/store/PstFolderItem.h"

#include <libpst/libpst.h>

#include <memory>

enum class PstChildOutcome {
    Item,      // a record of one of the item kinds
    Folder,    // a folder record, without a child loader
    NotShown,  // not the user's (see above)
    Unparsed,  // the descriptor does not parse
    Damaged,   // its structures are damaged: left out, and counted (pstReportDamaged)
    NoItem,    // parses, but makes no record (an unknown class, a missing part)
};

struct PstFolderChild {
    PstChildOutcome outcome = PstChildOutcome::Unparsed;
    std::shared_ptr<PstItem> record;  // Item and Folder: depth and descriptor set
};

// Reads the child descriptor node of parent (a file node's children are the
// top of folders and the nodes beside it). Takes the library lock itself,
// once for the parse and the record.
PstFolderChild pstReadFolderChild(pst_file* pf, pst_desc_tree* node, const PstFolderItem& parent);

// After a walk over a folder's children: stores the number of Damaged
// outcomes on the folder ("%n damaged item(s) skipped" on its label's
// tooltip) and, when there are any, logs them.
void pstReportDamaged(PstFolderItem& folder, int damaged);
