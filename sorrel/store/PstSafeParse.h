#pragma once
// The one door through which we hand libpst a structure of the file to parse.
// libpst trusts the file's sizes and offsets, so a damaged item can make it
// read or copy out of bounds; every parse goes through here so that our own
// checks run first. Call with pstLibraryMutex() held.

#include <libpst/libpst.h>

// pst_parse_item for d, or null when the item does not parse (or is damaged).
pst_item* pstParseItemChecked(pst_file* pf, pst_desc_tree* d);

// The message embedded in an attachment (method 5) of an item that came
// through pstParseItemChecked; null when there is none or it does not parse.
pst_item* pstParseEmbeddedChecked(pst_file* pf, pst_item_attach* attach);
