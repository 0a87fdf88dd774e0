#include "sorrel/print/PrintContentProvider.h"

#include "sorrel/items/PstItem.h"
#include "sorrel/items/PstMailItem.h"

namespace {

// Fonts found on Linux desktops, ending in what every system has.
#define PRINT_FONTS "'Noto Sans', 'DejaVu Sans', sans-serif"

const char kMailTemplate[] =
    "\n"
    "            <html>\n"
    "            <head>\n"
    "                <style>\n"
    "                    body { font-family: " PRINT_FONTS "; font-size: 12pt; }\n"
    "                    .header { font-weight: bold; margin-bottom: 10px; }\n"
    "                    .label { color: #666; }\n"
    "                </style>\n"
    "            </head>\n"
    "            <body>\n"
    "                <hr>\n"
    "                <div><span class=\"label\">Subject:</span> <span class=\"header\">%1</span></div>\n"
    "                <div><span class=\"label\" >From:</span> %2 <span>%3</span></div>\n"
    "                <div><span class=\"label\">Sent:</span> %4</div>\n"
    "                <div><span class=\"label\">Received:</span> %5</div>\n"
    "                <div>%6</div>\n"
    "                <div>%7</div>\n"
    "                <div><span class=\"label\">Attachments:</span> %8</div>\n"
    "                <hr>\n"
    "                <div>%9</div>\n"
    "            </body>\n"
    "            </html>\n"
    "        ";

const char kPageHead[] =
    "\n"
    "        <html>\n"
    "        <head>\n"
    "            <style>\n"
    "                body {\n"
    "                    font-family: " PRINT_FONTS ";\n"
    "                    font-size: 12pt;\n"
    "                    margin: 20px;\n"
    "                    line-height: 1.6;\n"
    "                }\n"
    "                .section-title {\n"
    "                    font-weight: bold;\n"
    "                    font-size: 14pt;\n"
    "                    margin: 20px 0 0 0;\n"
    "                    color: #2c3e50;\n"
    "                }\n"
    "                .field-label {\n"
    "                    font-weight: bold;\n"
    "                    display: inline-block;\n"
    "                    width: 150px;\n"
    "                    color: #34495e;\n"
    "                }\n"
    "                .field-value {\n"
    "                    color: #2c3e50;\n"
    "                    white-space: pre-wrap;\n"
    "                }\n"
    "                .divider {\n"
    "                    border-top: 1px solid #bdc3c7;\n"
    "                    margin: 5px 0 10px 0;\n"
    "                }\n"
    "                .contact-header {\n"
    "                    font-size: 16pt;\n"
    "                    font-weight: bold;\n"
    "                    text-align: center;\n"
    "                    margin-bottom: 20px;\n"
    "                    color: #2c3e50;\n"
    "                }\n"
    "            </style>\n"
    "        </head>\n"
    "        <body>\n"
    "    ";

const char kPageEnd[] = "\n        </body>\n        </html>\n    ";

#undef PRINT_FONTS

QString esc(const QString& text)
{
    return text.toHtmlEscaped();
}

} // namespace

QString PrintContentProvider::content() const
{
    if (!m_item)
        return {};
    QString html = QString::fromLatin1(kPageHead);
    html += QStringLiteral("<div class=\"contact-header\">%1</div>").arg(esc(m_item->title()));
    for (const InfoSection& section : m_item->infoSections(m_item->loadBody())) {
        QString rows;
        for (const auto& [label, value] : section.rows) {
            if (value.isEmpty())
                continue;
            if (label.isEmpty())
                rows += QStringLiteral("<div><span class=\"field-value\">%1</span></div>").arg(esc(value));
            else
                rows += QStringLiteral("<div><span class=\"field-label\">%1</span><span class=\"field-value\">%2</span></div>")
                            .arg(esc(label), esc(value));
        }
        if (!rows.isEmpty())
            html += QStringLiteral("<div class=\"section-title\">%1</div><div class=\"divider\"></div>%2")
                        .arg(esc(section.title), rows);
    }
    return html + QLatin1String(kPageEnd);
}

QString MailPrintProvider::content() const
{
    const auto* mail = dynamic_cast<const PstMailItem*>(item());
    if (!mail)
        return {};
    const QString format = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    const QString attachments = mail->hasAttachments()
                                    ? tr("Yes (%1 file(s))").arg(mail->attachments().size())
                                    : tr("None");
    const QString address = mail->senderAddr();
    const QString addressHtml = address.isEmpty() ? QString() : QStringLiteral("&lt;%1&gt;").arg(esc(address));
    // One pass: text in a value that looks like a placeholder stays as it is.
    return QString::fromLatin1(kMailTemplate)
        .arg(esc(mail->subject()), esc(mail->title()), addressHtml, esc(mail->sentDateText(format)),
             esc(mail->arrivalDateText(format)), esc(mail->toLine()), esc(mail->ccLine()), esc(attachments),
             mail->displayHtml());
}

std::unique_ptr<PrintContentProvider> makePrintProvider(const PstItem& item)
{
    switch (item.kind()) {
    case PstItemKind::Mail:
        return std::make_unique<MailPrintProvider>(&item);
    case PstItemKind::Calendar:
    case PstItemKind::Contact:
    case PstItemKind::Journal:
    case PstItemKind::Task:
    case PstItemKind::Note:
        return std::make_unique<PrintContentProvider>(&item);
    case PstItemKind::Folder:
        break;
    }
    return nullptr;
}
