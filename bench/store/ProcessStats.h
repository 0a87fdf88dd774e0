#pragma once
// What the store benchmarks read about their own process: CPU time and the
// figures of /proc/self/status.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <ctime>

namespace bench {

// CPU time of the whole process in milliseconds.
inline double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// A kB figure of /proc/self/status ("VmRSS:", "VmHWM:"), -1 when missing.
inline long statusKb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace bench
