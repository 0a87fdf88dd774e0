#pragma once
// The one door through which we hand libpst a structure of the file to parse.
// libpst trusts the file's sizes and offsets, so a damaged item can make it
// read or copy out of bounds; every parse goes through here so that our own
// checks run first. Call with pstLibraryMutex() held.

#include <libpst/libpst.h>

// pst_parse_item for d, or null when the item does not parse (or is damaged).
// m_head is the id2 list of an attachment when d describes the message
// embedded in it (method 5); null for every other item.
pst_item* pstParseItemChecked(pst_file* pf, pst_desc_tree* d, pst_id2_tree* m_head = nullptr);
