#pragma once
// The Internet mail writer: one parsed libpst mail item as an RFC 5322
// message with MIME parts (plain and HTML bodies, meeting-request calendars,
// attachments in base64, embedded messages as message/rfc822 parts).
//
// Saving a message, or a message embedded in an attachment, as a .eml file:
//
//   QMutexLocker lock(&pstLibraryMutex());
//   pst_item* item = pstParseItemChecked(pf, descriptor);            // a message
//   // or: pst_item* item = pstattachments::parseEmbedded(pf, attach);  // method 5
//   QFile file(path);
//   file.open(QIODevice::WriteOnly);
//   bool ok = mailwriter::writeMail(&file, pf, item) && file.flush();
//   pst_freeItem(item);
//
// Lines end in "\n". The writer converts the item's strings in place and
// reads attachment data from pf; it takes pstLibraryMutex() itself.

#include <libpst/libpst.h>

#include <QByteArray>

#include <cstdio>

class QIODevice;

namespace mailwriter {

enum class MailMode {
    Eml,   // one message: it starts with its headers, body lines stay as they are
    Mbox,  // one mbox entry: a "From " separator line first, ">" before body lines that start with "From "
};

struct MailWriterOptions {
    MailMode mode = MailMode::Eml;
    bool keepRtf = true;     // the compressed RTF body becomes the attachment "rtf-body.rtf"
    QByteArray storeKey;     // of pf (writersupport::storeKey); looked up when empty
};

// Messages embedded in messages are written down to this depth; deeper ones,
// and any that would repeat one of their own ancestors, are left out.
inline constexpr int kMaxEmbeddedDepth = 10;
// At most this many embedded messages in all are written into one message.
inline constexpr int kMaxEmbeddedMessages = 256;

// Writes the item to out. False when the item has no mail part or a write
// to out failed (out stays open).
bool writeMail(FILE* out, pst_file* pf, pst_item* item, const MailWriterOptions& options = {});
bool writeMail(QIODevice* out, pst_file* pf, pst_item* item, const MailWriterOptions& options = {});

} // namespace mailwriter
