#include "sorrel/store/PstLibrary.h"

#include "common/Log.h"
#include "sorrel/store/PstDescriptorIndex.h"
#include "sorrel/store/PstNodeReader.h"

#include <QMutexLocker>
#include <QString>

#include <cstdlib>
#include <new>

void PstFileDeleter::operator()(pst_file* pf) const
{
    if (!pf)
        return;
    {
        QMutexLocker lock(&pstLibraryMutex());
        pstForgetDescriptors(pf);
        pstForgetFileWindows(pf);
        if (pf->fp)
            pst_close(pf);
    }
    std::free(pf);
    mw::logInfo(QStringLiteral("Closed Pst document completed."));
}

PstFileHandle makePstFileHandle()
{
    auto* pf = static_cast<pst_file*>(std::calloc(1, sizeof(pst_file)));
    if (!pf)
        return {};
    return PstFileHandle(pf, PstFileDeleter());
}

QRecursiveMutex& pstLibraryMutex()
{
    static QRecursiveMutex* mutex = new QRecursiveMutex;
    return *mutex;
}
