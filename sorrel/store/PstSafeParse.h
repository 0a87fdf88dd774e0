#pragma once
// The doors through which we hand libpst a structure of the file to read.
// libpst trusts the file's sizes and offsets, so a damaged item can make it
// read or copy out of bounds, or allocate absurd amounts. Before each call
// we check, with our own bounds-checked reader, everything that call reads:
// the item's data tree and heap-on-node with its page maps, its property
// context (B-tree and every value reference), its subnode tree, the
// recipient and attachment tables, the attachments' own property contexts
// and embedded messages, attachment data, and the name-to-id map. What fails
// the checks is never handed to libpst. A sound file gives exactly what
// libpst gives. These are the only places that call pst_parse_item,
// pst_attach_to_mem, pst_attach_to_file_base64 and
// pst_load_extended_attributes. Call with pstLibraryMutex() held.

#include <libpst/libpst.h>

#include <cstdint>
#include <cstdio>

// pst_parse_item for d, or null when the item does not parse. damaged (when
// given) tells whether it was refused because its structures are damaged.
pst_item* pstParseItemChecked(pst_file* pf, pst_desc_tree* d, bool* damaged = nullptr);

// The checks alone: true when everything pst_parse_item reads for d is sound.
bool pstItemStructureSound(pst_file* pf, pst_desc_tree* d);

// The message embedded in an attachment (method 5) of an item that came
// through pstParseItemChecked, whose checks covered the embedded message and
// its subnodes; null when there is none or its property context is damaged.
pst_item* pstParseEmbeddedChecked(pst_file* pf, pst_item_attach* attach);

// pst_attach_to_mem, or an empty result when the attachment's data is damaged.
pst_binary pstAttachToMemChecked(pst_file* pf, pst_item_attach* attach);
// pst_attach_to_file_base64, or 0 bytes written when the data is damaged.
size_t pstAttachToFileBase64Checked(pst_file* pf, pst_item_attach* attach, FILE* fp);

enum class PstNameMapResult {
    Loaded,   // pst_load_extended_attributes returned 1
    Damaged,  // the map is damaged: not loaded, the file opens without named properties
    Failed,   // libpst refused the map (or the file has none)
};
// pst_load_extended_attributes behind a check of the name-to-id map.
PstNameMapResult pstLoadExtendedAttributesChecked(pst_file* pf);
