#pragma once
// Bodies that exist only as compressed RTF (PR_RTF_COMPRESSED), as Outlook
// often stores them: the decompression through libpst and a small RTF
// reader of our own. HTML encapsulated in RTF (the "\fromhtml1" form Outlook
// and Exchange write) comes out as that HTML; any other RTF as plain text.
//
// Both read untrusted bytes: sizes are checked before libpst sees them, the
// reader runs in one forward pass (linear time), bounds its nesting depth
// and stops at a maximum output size. No state, any thread; the
// decompression calls libpst, so callers hold pstLibraryMutex().

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstddef>

namespace PstRtf {

// The largest decompressed RTF accepted; larger ones count as damaged.
inline constexpr qsizetype kMaxRtfBytes = 64 * 1024 * 1024;
// The reader stops after this many characters of output.
inline constexpr qsizetype kMaxTextChars = 16 * 1024 * 1024;
// Groups nested deeper than this are skipped with their content.
inline constexpr int kMaxDepth = 200;

// The RTF text of a PR_RTF_COMPRESSED value ("LZFu" compressed or "MELA"
// stored); empty when the header is damaged or the text would be too large.
QByteArray decompress(const char* data, size_t size);

struct Body {
    bool html = false;  // text is HTML (de-encapsulated), else plain text
    QString text;
};

// The content of an RTF document. \par and \line become CRLF, \tab a tab;
// \'hh is read in the code page of the current font (its \fcharset or
// \cpg) or the document's (\ansicpg), \uN as that character with its
// fallback skipped (\uc); font tables, pictures, fields' instructions and
// other destinations are skipped. Not RTF: empty.
Body toBody(QByteArrayView rtf);

} // namespace PstRtf
