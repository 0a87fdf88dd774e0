#pragma once
// Every libpst call of the writers that reaches attachment data or embedded
// messages, in one place, so that checks in front of libpst apply to all of
// them. Call with pstLibraryMutex() held.

#include <libpst/libpst.h>

#include <QByteArray>

#include <cstdio>

namespace pstattachments {

// Whether the attachment has bytes to write: inline data, or an index entry
// libpst can find.
bool hasData(pst_file* pf, pst_item_attach* attach);

// Writes the attachment's bytes in base64 (lines of 76 characters) to out,
// from its inline data or fetched from the file. Returns the bytes written.
size_t writeBase64(pst_file* pf, pst_item_attach* attach, FILE* out);

// Writes base64 of bytes the same way (for the pseudo-attachments the writer
// makes of RTF and encrypted bodies).
size_t writeBase64(pst_file* pf, const QByteArray& bytes, FILE* out);

// The attachment's bytes in memory; empty when there are none.
QByteArray bytes(pst_file* pf, pst_item_attach* attach);

// The message embedded in an attachment of method 5, parsed through the
// checked parse; null when it has none or it does not parse. Free it with
// pst_freeItem.
pst_item* parseEmbedded(pst_file* pf, pst_item_attach* attach);

// The decompressed RTF body of a compressed RTF property; empty on failure.
QByteArray decompressRtf(const pst_binary& compressed);

} // namespace pstattachments
