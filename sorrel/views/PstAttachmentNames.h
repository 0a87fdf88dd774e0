#pragma once
// File names for attachments written to disk. Attachment names come from the
// mail's sender, so only their file-name part is ever used: no directories,
// no "." or "..", no control characters; "attachment_<id>" when nothing is left.

#include <QString>

namespace PstAttachmentNames {

// The file-name part of name, cut at the last "/" or "\"; "attachment_<id>" when empty.
QString safeFileName(const QString& name, quint64 id);

// "<id>_<safe file name>", the name of an attachment's temporary file.
QString tempFileName(const QString& name, quint64 id);

// dir + "/" + the safe file name: where Save All writes, what Save As proposes.
QString pathInDirectory(const QString& dir, const QString& name, quint64 id);

} // namespace PstAttachmentNames
