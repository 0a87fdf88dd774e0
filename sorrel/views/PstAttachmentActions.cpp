#include "sorrel/views/PstAttachmentActions.h"

#include "common/AppConfig.h"
#include "common/Log.h"
#include "common/Platform.h"
#include "common/ProductProfile.h"
#include "sorrel/export/writers/MailWriter.h"
#include "sorrel/export/writers/PstAttachmentIo.h"
#include "sorrel/items/PstItem.h"
#include "sorrel/views/PstAttachmentNames.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>
#include <QUrl>

#include <functional>
#include <optional>

namespace {

struct Tr {
    Q_DECLARE_TR_FUNCTIONS(PstMailView)
};

using Content = std::function<bool(QIODevice&)>;

// Writes content to path through a save file: a file that was there is only
// replaced when all of it was written, and nothing is left when there was
// nothing to write. Without permissions the user's umask decides, as for any
// saved file; with them, the file gets them.
bool writeFile(const QString& path, const Content& content,
               std::optional<QFileDevice::Permissions> permissions = std::nullopt)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!content(file)) {
        file.cancelWriting();
        file.commit();  // drops what was written
        return false;
    }
    return file.commit() && (!permissions || QFile::setPermissions(path, *permissions));
}

Content bytesContent(const QByteArray& bytes)
{
    return [bytes](QIODevice& out) { return !bytes.isEmpty() && out.write(bytes) == bytes.size(); };
}

// A message attached as such, as Internet mail through the mail writer.
bool writeAttachedMessage(const PstItem& item, const Attachment& attachment, QIODevice& out)
{
    bool written = false;
    item.withAttachment(attachment, [&](pst_file* pf, pst_item_attach* a) {
        if (pst_item* message = pstattachments::parseEmbedded(pf, a)) {
            written = mailwriter::writeMail(&out, pf, message);
            pst_freeItem(message);
        }
    });
    return written;
}

// What an attachment's file holds: its bytes, read once, or the attached message.
Content contentOf(const PstItem& item, const Attachment& attachment)
{
    if (attachment.embeddedMessage)
        return [&item, &attachment](QIODevice& out) { return writeAttachedMessage(item, attachment, out); };
    return bytesContent(item.loadAttachmentData(attachment));
}

QString writeTemp(const Attachment& attachment, const Content& content, const QString& tempDir)
{
    // Only the user may read the copies: the directory is 0700, the files 0600.
    const QString dir = QDir::toNativeSeparators(tempDir);
    if (!ProductProfile::makePrivateDirectory(dir)) {
        mw::logWarning(QStringLiteral("Attachment temp directory is not private to the user: %1").arg(dir));
        return QString();
    }
    const QString path = dir + QDir::separator() + PstAttachmentNames::tempFileName(attachment.name, attachment.id);
    if (!writeFile(path, content, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        mw::logWarning(QStringLiteral("Failed to write attachment temp file: %1").arg(path));
        return QString();
    }
    return path;
}

} // namespace

namespace PstAttachmentActions {

std::shared_ptr<QMenu> attachmentMenu(const std::shared_ptr<PstItem>& item, const QString& tempDir)
{
    auto menu = std::make_shared<QMenu>();
    if (!item)
        return menu;
    for (const std::shared_ptr<Attachment>& a : item->attachments()) {
        QMenu* sub = menu->addMenu(a->name);
        QObject::connect(sub->addAction(Tr::tr("Open")), &QAction::triggered, sub,
                         [item, a, tempDir] { openAttachment(*item, *a, tempDir); });
        QObject::connect(sub->addAction(Tr::tr("Save As...")), &QAction::triggered, sub,
                         [item, a] { saveAttachmentAs(*item, *a); });
    }
    if (item->hasAttachments()) {
        menu->addSeparator();
        QObject::connect(menu->addAction(Tr::tr("Save All")), &QAction::triggered, menu.get(),
                         [item] { saveAllAttachments(*item); });
    }
    return menu;
}

QString writeTempFile(const Attachment& attachment, const QByteArray& bytes, const QString& tempDir)
{
    if (bytes.isEmpty())
        return QString();
    return writeTemp(attachment, bytesContent(bytes), tempDir);
}

bool openAttachment(const PstItem& item, const Attachment& attachment, const QString& tempDir)
{
    const QString path = writeTemp(attachment, contentOf(item, attachment), tempDir);
    if (path.isEmpty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool saveAttachmentTo(const PstItem& item, const Attachment& attachment, const QString& filePath)
{
    // Nothing to write is a failure, not an empty "saved" file.
    if (!writeFile(filePath, contentOf(item, attachment))) {
        mw::logWarning(QStringLiteral("Attachment save failed."));
        return false;
    }
    mw::logInfo(QStringLiteral("Attachment saved successfully."));
    return true;
}

void saveAttachmentAs(const PstItem& item, const Attachment& attachment)
{
    AppConfig* config = AppConfig::instance();
    const QString proposed = PstAttachmentNames::pathInDirectory(config->lastSavePath(), attachment.name, attachment.id);
    const QString chosen = QFileDialog::getSaveFileName(nullptr, Tr::tr("Save attachment"), proposed, QString());
    if (chosen.isEmpty())
        return;
    config->setLastSavePath(QFileInfo(chosen).absolutePath());
    if (saveAttachmentTo(item, attachment, chosen))
        Platform::revealInFileManager(chosen);
}

int saveAllAttachmentsTo(const PstItem& item, const QString& dir)
{
    int written = 0;
    for (const std::shared_ptr<Attachment>& a : item.attachments()) {
        if (writeFile(PstAttachmentNames::pathInDirectory(dir, a->name, a->id), contentOf(item, *a)))
            ++written;
    }
    return written;
}

void saveAllAttachments(const PstItem& item)
{
    AppConfig* config = AppConfig::instance();
    const QString dir = QFileDialog::getExistingDirectory(nullptr, Tr::tr("Select folder to save all attachments"),
                                                          config->lastSavePath(), QFileDialog::ShowDirsOnly);
    if (dir.isEmpty())
        return;
    config->setLastSavePath(dir);
    saveAllAttachmentsTo(item, dir);
    Platform::revealInFileManager(dir);
    mw::logInfo(QStringLiteral("All attachments saved."));
}

} // namespace PstAttachmentActions
