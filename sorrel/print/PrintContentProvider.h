#pragma once
// The HTML page an item prints as: a mail's header lines above its prepared
// body, every other kind as its detail sections in titled label/value
// blocks. Every value from the file is HTML-escaped; only the mail body
// goes in as HTML (the print view runs no script and fetches nothing).

#include <QCoreApplication>
#include <QString>

#include <memory>

class PstItem;

class PrintContentProvider {
public:
    // item is not owned; it must outlive the provider.
    explicit PrintContentProvider(const PstItem* item) : m_item(item) {}
    virtual ~PrintContentProvider() = default;

    // Reads the body from the file as it builds the page.
    virtual QString content() const;

protected:
    const PstItem* item() const { return m_item; }

private:
    const PstItem* m_item;
};

class MailPrintProvider : public PrintContentProvider {
    Q_DECLARE_TR_FUNCTIONS(MailPrintProvider)
public:
    using PrintContentProvider::PrintContentProvider;
    QString content() const override;
};

// The provider for item's kind; null for kinds that do not print (folders).
std::unique_ptr<PrintContentProvider> makePrintProvider(const PstItem& item);
