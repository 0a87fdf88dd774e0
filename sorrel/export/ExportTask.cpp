#include "sorrel/export/ExportTask.h"

#include "sorrel/export/ProgressReporter.h"
#include "sorrel/store/PstSafeParse.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QtDebug>

ExportTask::ExportTask(Job job) : m_job(std::move(job))
{
    setAutoDelete(true);
}

void ExportTask::run()
{
    if (m_job.cancel.isCancelled() || !m_job.strategy) {
        emit taskFinished(m_job.format, false);
        return;
    }
    bool ok = false;
    int done = 0;
    {
        QMutexLocker lock(&pstLibraryMutex());
        pst_file* pf = m_job.document.get();
        // A damaged item gives no libpst item; the strategy counts it as failed.
        pst_item* item = pf ? pstParseItemChecked(pf, m_job.descriptor) : nullptr;
        ok = m_job.strategy->exportItem(pf, item, m_job.target, m_job.cancel);
        done = m_job.strategy->count();
        if (item)
            pst_freeItem(item);
    }
    reportProgress(done);
    emit taskFinished(m_job.format, ok);
}

void ExportTask::reportProgress(int done)
{
    const int step = qMax(1, m_job.total / 100);
    if (done % step != 0 && done != m_job.total)
        return;
    qDebug() << "step : " << step << " progress % step " << done % step;
    if (m_job.reporter)
        QMetaObject::invokeMethod(m_job.reporter, "onProgress", Qt::QueuedConnection, Q_ARG(int, done));
}
