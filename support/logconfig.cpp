#include "Corbelin/SupportFoundation.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace Corbelin {
namespace {

// One sink per process. The file is line-buffered, so every line reaches the
// file as it is logged (a killed process loses nothing); FlushBuffer and
// warnings flush explicitly all the same.
struct Sink {
    std::mutex mutex;
    std::FILE* file = nullptr;
    std::string path;
    std::vector<std::string> early; // lines logged before the directory was known

    ~Sink()
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (file) {
            std::fclose(file);
            file = nullptr;
        }
    }
};

Sink& sink()
{
    static Sink* s = new Sink; // never destroyed: modules may log during exit
    return *s;
}

std::string stamp()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d",
                  tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                  tm.tm_sec, int(ms));
    return buf;
}

void writeLocked(Sink& s, const std::string& line)
{
    const std::string text = stamp() + " " + line + "\n";
    if (!s.file) {
        if (s.early.size() < 10000)
            s.early.push_back(text);
        return;
    }
    std::fputs(text.c_str(), s.file);
}

int append(const std::string& line, bool flush)
{
    Sink& s = sink();
    std::lock_guard<std::mutex> lock(s.mutex);
    writeLocked(s, line);
    if (flush && s.file)
        std::fflush(s.file);
    return 0;
}

void flushAtExit()
{
    Sink& s = sink();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.file)
        std::fflush(s.file);
}

} // namespace

bool ILogConfig::InitializeLogConfig(const std::string& logDirectory)
{
    if (logDirectory.empty())
        return false;
    struct stat st{};
    if (::stat(logDirectory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;

    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char name[64];
    std::snprintf(name, sizeof name, "/Marrowin_%04d%02d%02d.log", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday);
    const std::string path = logDirectory + name;

    Sink& s = sink();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.file && s.path == path)
        return true;
    std::FILE* f = std::fopen(path.c_str(), "a");
    if (!f)
        return false;
    std::setvbuf(f, nullptr, _IOLBF, BUFSIZ);
    if (s.file)
        std::fclose(s.file);
    s.file = f;
    s.path = path;
    for (const std::string& line : s.early)
        std::fputs(line.c_str(), f);
    s.early.clear();
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit(flushAtExit);
    }
    return true;
}

int ILogConfig::Info(const std::string& line) { return append(line, false); }
int ILogConfig::Warning(const std::string& line) { return append(line, true); }
int ILogConfig::Fatal(const std::string& line) { return append(line, true); }

void ILogConfig::FlushBuffer()
{
    Sink& s = sink();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.file)
        std::fflush(s.file);
}

std::string ILogConfig::CurrentLogFile()
{
    Sink& s = sink();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.path;
}

} // namespace Corbelin
