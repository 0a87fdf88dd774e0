#pragma once
// Descriptor lookup by id for open files. libpst's own lookup walks the whole
// descriptor tree; we keep a hash from descriptor id to node per pst_file,
// built once after the index is loaded (from the file or from the cache).
//
// Every function here must be called with pstLibraryMutex() held.

#include <libpst/libpst.h>

#include <cstdint>

// (Re)builds pf's map from its descriptor tree; the first node in depth-first
// order wins for a duplicated id, as with a tree walk.
void pstIndexDescriptors(pst_file* pf);

// The node with descId, or null. Builds the map on first use; an id missing
// from the map falls back to a depth-first walk (and is remembered if found).
pst_desc_tree* pstFindDescriptor(pst_file* pf, uint64_t descId);

// Drops pf's map; called before the file is closed.
void pstForgetDescriptors(pst_file* pf);

// The top-of-folders descriptor of the message store item root (parsed from
// pf->d_head), found through the map; other cases go to pst_getTopOfFolders.
pst_desc_tree* pstTopOfFolders(pst_file* pf, const pst_item* root);
