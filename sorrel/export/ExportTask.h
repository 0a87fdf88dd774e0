#pragma once
// One item of an export: parses the item from its descriptor when it runs,
// hands it to its format's strategy under the library lock, reports the
// format's running count to its progress reporter and its own outcome.

#include "sorrel/export/CancelToken.h"
#include "sorrel/export/ExportStrategy.h"
#include "sorrel/store/PstLibrary.h"

#include <QObject>
#include <QRunnable>
#include <QString>

#include <memory>

class ProgressReporter;

class ExportTask : public QObject, public QRunnable {
    Q_OBJECT
public:
    struct Job {
        QString format;        // the selection key: "eml", "vcf", "ics", "txt", "ics2", "mbox"
        int total = 0;         // items of the format found by the pre-scan
        PstFileHandle document;
        pst_desc_tree* descriptor = nullptr;
        std::shared_ptr<ExportStrategy> strategy;
        QString target;        // directory, or mailbox file
        ProgressReporter* reporter = nullptr;  // owned by the manager, which outlives its tasks
        CancelToken cancel;
    };

    explicit ExportTask(Job job);
    void run() override;

signals:
    void taskFinished(const QString& type, bool success);

private:
    void reportProgress(int done);

    Job m_job;
};
