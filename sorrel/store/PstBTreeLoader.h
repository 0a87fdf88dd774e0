#pragma once
// Our own reader of a PST file's two b-trees: the block b-tree (block id to
// offset and size) and the node b-tree (descriptor id to data block, subnode
// block and parent). It reads every page once and fills the same pst_file
// structures as libpst's pst_load_index (the i_table sorted by id, the
// descriptor tree with parents, children, counts and d_tail), entry for entry,
// so everything after it, libpst's own calls included, works unchanged.
// pst_load_index looks every descriptor's parent up by walking the tree built
// so far; here the whole tree is linked in one pass over the sorted nodes.
//
// Every page and entry is checked against the file before it is used: page
// type and trailer, entry counts and sizes, levels that descend by one, keys
// in order and inside their parent's range, pages reached only once, blocks
// inside the file. What fails is left out and reported; libpst never sees an
// offset or size that does not fit the file.
//
// Formats: 32-bit (ANSI), 64-bit (Unicode) and the 64-bit OST format of
// Outlook 2013 with 4 KB pages (pst_file::do_read64 0, 1, 2).

#include <libpst/libpst.h>

#include <QString>

#include <cstdint>

// What a load met in the file. Counts add up over the two trees.
struct PstBTreeReport {
    uint64_t pagesRead = 0;
    // Pages that failed a check, left out with everything below them.
    uint64_t pagesRefused = 0;
    // Pages whose checksum or signature does not match but whose structure
    // passed every check; their entries are used.
    uint64_t checksumMismatches = 0;
    // Leaf entries left out: blocks reaching outside the file, null ids.
    uint64_t entriesDropped = 0;
    uint64_t blocks = 0;      // entries in the i_table
    uint64_t descriptors = 0; // nodes in the descriptor tree
    // The first problem met, with the page it was met on.
    QString firstProblem;

    bool damaged() const { return pagesRefused || checksumMismatches || entriesDropped; }
    // "2 b-tree page(s) refused, 1 entry(ies) dropped; first: ..."
    QString summary() const;
};

enum class PstBTreeResult {
    Loaded,    // every page and entry passed
    Damaged,   // what passed is installed; the report says what was left out
    Unreadable // the file could not be read (no stream, read error, out of
               // memory); nothing is installed
};

// Fills pf's i_table and descriptor tree from the file. pf comes straight
// from pst_open (no index yet). Caller holds pstLibraryMutex(). The nodes are
// not registered for descriptor lookup (pstIndexDescriptors does that).
PstBTreeResult pstLoadBTrees(pst_file* pf, PstBTreeReport* report = nullptr);

// The checks of one block entry against the PST file, shared with the index
// cache: the block lies inside the file, and its sizes fit the 16-bit fields
// they come from (libpst allocates and copies by them).
bool pstBlockEntryFits(const pst_index_ll& entry, uint64_t fileSize);

// Appends node as the last child of parent, or with a null parent to the
// top-level list head..tail; sets parent, prev, next and child_tail (not
// no_child).
void pstLinkDescriptor(pst_desc_tree* node, pst_desc_tree* parent, pst_desc_tree*& head, pst_desc_tree*& tail);

// The first difference between the indexes of a and b (i_table entries,
// descriptor tree shape, fields and links), or empty when they are identical.
// For checking one loader against another.
QString pstIndexDifference(const pst_file* a, const pst_file* b);
