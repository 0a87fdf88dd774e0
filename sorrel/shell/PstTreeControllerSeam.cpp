#include "sorrel/shell/PstTreeControllerSeam.h"

#include "common/Log.h"

void PstTreeControllerSeam::openFile(const QString& path)
{
    mw::logInfo(QStringLiteral("Open queued: ") + path);
    pending.append(path);
    emit openRequested(path);
}
