#pragma once
// Mail records and their attachments.

#include "sorrel/items/PstItem.h"

#include <QByteArray>

#include <functional>

// One attachment of a mail, shared between a mail and its clones. It names
// the attachment only; its bytes are read from the file when needed
// (PstMailItem::loadAttachmentData) and never kept.
struct Attachment {
    QString name;       // long file name, else short file name
    uint64_t id = 0;    // libpst i_id: finds the attachment again in a later parse
    QString contentId;  // empty when absent
    // Place in libpst's attachment list. libpst gives every attachment whose
    // bytes sit inline the i_id 0, so the id alone cannot tell them apart.
    int position = -1;
};

class PstMailItem : public PstItem {
    Q_DECLARE_TR_FUNCTIONS(PstMailItem)
public:
    PstItemKind kind() const override { return PstItemKind::Mail; }
    QString title() const override;  // "sender"
    QString iconPath() const override;
    qint64 sortTime() const override;  // "sentDate"
    using PstItem::fieldText;
    QString fieldText(PstSearchField field, const PstItemBody& body) const override;
    std::shared_ptr<PstItem> clone() const override;
    QString buildSearchText() const override;

    const QList<std::shared_ptr<Attachment>>& attachments() const { return m_attachments; }
    bool hasAttachments() const { return !m_attachments.isEmpty(); }
    void addAttachment(std::shared_ptr<Attachment> a) { m_attachments.append(std::move(a)); }
    // The bytes of an attachment of this mail, read from the file; empty when
    // the file is closed, the item no longer parses or libpst has no bytes.
    // Takes the library lock.
    QByteArray loadAttachmentData(const Attachment& attachment) const;

    QString sender() const;
    QString senderAddr() const;
    QString recipients() const;
    QString cc() const;
    QString bcc() const;
    qint64 sentDate() const;
    qint64 arrivalDate() const;
    QString senderAddrHtml() const;  // "&lt;addr&gt;" or empty
    QString toLine() const;          // "To: ..." or empty
    QString ccLine() const;
    QString bccLine() const;
    QString sentDateText(const QString& format) const;     // or tr("No sent date")
    QString arrivalDateText(const QString& format) const;  // or tr("Unknown")

    // The body as HTML to show: the HTML body with cid: images inlined as
    // data URIs, or the plain body in a small page. Reads the body (and the
    // inline images) from the file; nothing is kept.
    QString displayHtml() const;
    QString displayHtml(const PstItemBody& body) const;
    static QString plainBodyHtml(const QString& text);
    QString inlineCidImages(const QString& html) const;

    // Converts HTML to plain text for the body search text. The default drops
    // tags, scripts and styles and decodes entities; a better converter may
    // be installed once at start-up.
    using HtmlToText = std::function<QString(const QString&)>;
    static void setHtmlToText(HtmlToText convert);
    static QString htmlToText(const QString& html);

private:
    QList<std::shared_ptr<Attachment>> m_attachments;
};
