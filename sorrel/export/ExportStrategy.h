#pragma once
// How one format writes one parsed item: ExportToEml (mails, .eml),
// ExportToVcf (contacts, .vcf), ExportToIcs (appointments, .ics),
// ExportToIcs2 (journal entries, .ics), ExportToTxt (sticky notes, .txt) and
// ExportToMbox (mails appended to their folder's mailbox file). Strategies
// are called with pstLibraryMutex() held, one item at a time.

#include "sorrel/export/CancelToken.h"

#include <libpst/libpst.h>

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdio>
#include <functional>

class ExportStrategy {
public:
    explicit ExportStrategy(bool exportToApp = false) : m_exportToApp(exportToApp) {}
    virtual ~ExportStrategy() = default;
    ExportStrategy(const ExportStrategy&) = delete;
    ExportStrategy& operator=(const ExportStrategy&) = delete;

    // Writes the item (null when it did not parse) into target: the folder's
    // directory, or for ExportToMbox the folder's mailbox file. An empty
    // target means the folder has no usable place; the item then fails.
    virtual bool exportItem(pst_file* pf, pst_item* item, const QString& target, const CancelToken& cancel) = 0;
    // The file extension, which names the format in logs: "eml", "vcf",
    // "ics" (journal entries too), "txt", "mbox".
    virtual QString formatKey() const = 0;

    // Items this strategy was asked to write in the current run.
    int count() const { return m_count; }
    void resetCount() { m_count = 0; }
    bool exportToApp() const { return m_exportToApp; }
    // The store key of the file the items come from (iCalendar UIDs).
    void setStoreKey(const QByteArray& key) { m_storeKey = key; }

    // The path of a new file for the item in directory: its subject made a
    // file name (defaultName when it has none), then "_1", "_2"... until no
    // file of that name exists.
    QString makeOutputPath(pst_item* item, const QString& directory, const QString& defaultName);

protected:
    // The common steps of the file formats: count the item, check it has the
    // part the format needs (warning "Export failed: PST <what> is empty."),
    // create a new file (warning "Export <format> failed: unable to open
    // output file <path>."), write it and close it. A file that could not be
    // written completely is removed and the item fails.
    bool exportToNewFile(pst_item* item, bool hasPart, const char* what, const QString& directory,
                         const QString& defaultName, const CancelToken& cancel,
                         const std::function<bool(FILE*)>& write);

    QByteArray m_storeKey;
    int m_count = 0;

private:
    QString nextFreePath(const QString& directory, const QString& base, const QString& extension);

    bool m_exportToApp = false;
    // Per directory being written: the next "_N" to try for a name that was
    // taken before, so that many items of one name stay cheap to place.
    QString m_suffixDirectory;
    QHash<QString, int> m_nextSuffix;
};

class ExportToEml : public ExportStrategy {
public:
    using ExportStrategy::ExportStrategy;
    bool exportItem(pst_file* pf, pst_item* item, const QString& target, const CancelToken& cancel) override;
    QString formatKey() const override { return QStringLiteral("eml"); }
};

class ExportToVcf : public ExportStrategy {
public:
    using ExportStrategy::ExportStrategy;
    bool exportItem(pst_file* pf, pst_item* item, const QString& target, const CancelToken& cancel) override;
    QString formatKey() const override { return QStringLiteral("vcf"); }
};

class ExportToIcs : public ExportStrategy {
public:
    using ExportStrategy::ExportStrategy;
    bool exportItem(pst_file* pf, pst_item* item, const QString& target, const CancelToken& cancel) override;
    QString formatKey() const override { return QStringLiteral("ics"); }
};

class ExportToIcs2 : public ExportStrategy {
public:
    using ExportStrategy::ExportStrategy;
    bool exportItem(pst_file* pf, pst_item* item, const QString& target, const CancelToken& cancel) override;
    QString formatKey() const override { return QStringLiteral("ics"); }
};

class ExportToTxt : public ExportStrategy {
public:
    using ExportStrategy::ExportStrategy;
    bool exportItem(pst_file* pf, pst_item* item, const QString& target, const CancelToken& cancel) override;
    QString formatKey() const override { return QStringLiteral("txt"); }
};

class ExportToMbox : public ExportStrategy {
public:
    using ExportStrategy::ExportStrategy;
    // Appends the mail to the mailbox file target; a mail that could not be
    // appended completely is cut off again.
    bool exportItem(pst_file* pf, pst_item* item, const QString& target, const CancelToken& cancel) override;
    QString formatKey() const override { return QStringLiteral("mbox"); }
};
