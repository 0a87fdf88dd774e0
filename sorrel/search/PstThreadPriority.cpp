#include "sorrel/search/PstThreadPriority.h"

#include <QThread>

#if defined(Q_OS_LINUX)
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

PstLowestThreadPriority::PstLowestThreadPriority()
{
#if defined(Q_OS_LINUX)
    // On Linux a thread's nice value is its own (and threads it starts
    // inherit it); setpriority with the thread id changes just this thread.
    const id_t tid = id_t(syscall(SYS_gettid));
    errno = 0;
    const int previous = getpriority(PRIO_PROCESS, tid);
    if (errno == 0 && setpriority(PRIO_PROCESS, tid, 19) == 0) {
        m_previous = previous;
        m_changed = true;
    }
#else
    if (QThread* thread = QThread::currentThread()) {
        m_previous = int(thread->priority());
        thread->setPriority(QThread::IdlePriority);
        m_changed = true;
    }
#endif
}

PstLowestThreadPriority::~PstLowestThreadPriority()
{
    if (!m_changed)
        return;
#if defined(Q_OS_LINUX)
    // Raising it again needs the right to (RLIMIT_NICE); without it the pool
    // thread stays low, which only ever runs background work.
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), m_previous);
#else
    if (QThread* thread = QThread::currentThread())
        thread->setPriority(QThread::Priority(m_previous));
#endif
}
