#pragma once
// Mail records.

#include "sorrel/items/PstItem.h"

#include <QByteArray>

#include <functional>

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
};
