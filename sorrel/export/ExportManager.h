#pragma once
// One export of a folder tree into files: counts the items of the chosen
// formats, mirrors the folders as directories (or, for "mbox", as mailbox
// files with "NAME.sbd" directories for their subfolders) and writes one
// file per item on a private worker thread, with progress per format,
// failure counts and cancellation. Lives on the GUI thread.
//
// Formats: "eml" mails, "vcf" contacts, "ics" appointments, "txt" sticky
// notes, "ics2" journal entries; "mbox" mails into one mailbox per folder
// (used alone: it cannot share a directory tree with the others).
//
// Items are parsed only when their turn comes and freed right after, so the
// memory of an export does not grow with the size of the file.

#include "sorrel/export/CancelToken.h"
#include "sorrel/export/ExportStrategy.h"
#include "sorrel/export/ProgressReporter.h"
#include "sorrel/store/PstFolderItem.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class QThreadPool;

class ExportManager : public QObject {
    Q_OBJECT
public:
    struct FormatResult {
        int total = 0;    // items found by the pre-scan
        int written = 0;  // files (or mailbox entries) written
        int failed = 0;   // items that could not be written, cancelled ones included
    };

    explicit ExportManager(QObject* parent = nullptr);
    // Cancels and waits until the current item is done.
    ~ExportManager() override;

    // Pre-scans root on the calling thread, emits progressReady per chosen
    // format (or exportItemNotFound) and continues on the worker. Unknown
    // keys are ignored; "mbox" drops the other formats.
    void startExportToFiles(const PstFolderItemPtr& root, const QString& outputDirectory, const QStringList& formats);
    void cancelExport();
    bool isExporting() const { return m_exporting; }
    // Set (the default): directories (and mailboxes) that stayed empty are removed.
    void setIgnoreEmptyFolders(bool ignore) { m_ignoreEmptyFolders = ignore; }
    bool ignoreEmptyFolders() const { return m_ignoreEmptyFolders; }

    // The chosen formats of the last start, in table order.
    QStringList formats() const { return m_formats; }
    // Per chosen format: set by the pre-scan, complete once exportCompleted
    // has been emitted.
    QMap<QString, FormatResult> results() const { return m_results; }

    // "eml", "vcf", "ics", "txt", "ics2", "mbox".
    static const QStringList& allFormats();
    // "Emails", "Contacts", "Appointment", "Note", "Journal"; "Emails" for mbox.
    static QString progressLabel(const QString& format);

signals:
    // Once per start that found items, when the last item is done or the
    // cancelled walk has stopped, even when no item could be written.
    void exportCompleted(bool exportToApp);
    // format is the progress label.
    void progressReady(const QString& format, std::shared_ptr<ProgressReporter> reporter, int totalCount);
    void exportItemNotFound();

private slots:
    void onTaskFinished(const QString& type, bool success);
    void onWalkFinished();

private:
    struct Walk;

    // What the pre-scan found to export in one folder: each item's descriptor
    // and format. The walk works from this plan, so a folder the pre-scan had
    // to load lets its item records go at once and memory stays flat.
    struct PlannedItem {
        pst_desc_tree* descriptor;
        QString format;
    };

    QString formatFor(const PstItem& item) const;
    void countItems(const PstFolderItemPtr& folder, QMap<QString, int>& totals);
    void walk(const PstFolderItemPtr& root, const QString& outputDirectory);
    void exportFolder(Walk& w, const PstFolderItemPtr& folder, const QString& directory, bool isRoot);
    void exportMailboxes(Walk& w, const PstFolderItemPtr& folder, const QString& directory, const QString& name,
                         bool isRoot);
    int exportItems(Walk& w, const PstFolderItemPtr& folder, const QString& target);
    QString childName(const PstFolderItemPtr& child, const QString& directory, QSet<QString>& taken) const;
    bool makeDirectory(const Walk& w, const QString& directory) const;
    void completeIfDone();

    bool m_exporting = false;
    bool m_exportToApp = false;
    std::atomic_bool m_ignoreEmptyFolders{true};
    std::atomic_int m_inFlight{0};
    bool m_walkDone = true;
    bool m_completed = true;
    QStringList m_formats;
    bool m_mailboxes = false;
    CancelToken m_cancel;
    QMap<QString, std::shared_ptr<ExportStrategy>> m_strategies;
    QMap<QString, std::shared_ptr<ProgressReporter>> m_reporters;
    QMap<QString, FormatResult> m_results;
    QHash<const PstFolderItem*, QList<PlannedItem>> m_plan;
    QMap<QString, int> m_failures;  // live failure counts, reset at completion
    QThreadPool* m_pool;
};
