#pragma once
// What the user can do with an item's attachments (mails and every other
// kind): open one through a temporary file, save one, save all. A message
// attached as such is written as an .eml file through the mail writer.
// Files are only ever written under the attachment's file-name part
// (PstAttachmentNames), so no name can write outside the chosen folder, and
// a file is only created or replaced once all of it was written.

#include <QByteArray>
#include <QString>

#include <memory>

class PstItem;
class QMenu;
struct Attachment;

namespace PstAttachmentActions {

// A parentless menu: per attachment a submenu (its name) with "Open" and
// "Save As...", then "Save All". Each action keeps the item alive.
std::shared_ptr<QMenu> attachmentMenu(const std::shared_ptr<PstItem>& item, const QString& tempDir);

// Writes bytes to tempDir/<id>_<file name>; the path, or empty when there
// are no bytes or the file cannot be written.
QString writeTempFile(const Attachment& attachment, const QByteArray& bytes, const QString& tempDir);

// Reads the attachment from the file (a message as .eml), writes the
// temporary file and opens it with the desktop's default application.
bool openAttachment(const PstItem& item, const Attachment& attachment, const QString& tempDir);

// Asks for a file (proposing the safe name in "LastSavePath") and saves.
void saveAttachmentAs(const PstItem& item, const Attachment& attachment);
// Writes the attachment (its bytes, or the message as .eml) to filePath;
// false when there is nothing to write or the file cannot be written.
bool saveAttachmentTo(const PstItem& item, const Attachment& attachment, const QString& filePath);

// Asks for a folder and saves every attachment into it.
void saveAllAttachments(const PstItem& item);
// Writes every loadable attachment into dir under its safe file name (a
// later one of the same name wins); the number of files written. Bytes are
// read one attachment at a time and let go; messages stream to their files.
int saveAllAttachmentsTo(const PstItem& item, const QString& dir);

} // namespace PstAttachmentActions
