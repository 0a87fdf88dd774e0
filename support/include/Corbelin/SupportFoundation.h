#pragma once
// Logging sink and localisation manager shared by the host and its modules.
// Strings cross this boundary as UTF-8 narrow strings.

#include <memory>
#include <string>

namespace Corbelin {

class ILogConfig {
public:
    // Opens (creating if needed) the log file of this process in logDirectory.
    // Lines logged before this call are kept and written once it succeeds.
    static bool InitializeLogConfig(const std::string& logDirectory);
    // Appends one line, in call order, safe from any thread.
    static int Info(const std::string& line);
    static int Warning(const std::string& line);
    static int Fatal(const std::string& line);
    // After this returns every line logged so far is on disk.
    static void FlushBuffer();
    // The file lines are written to; empty before InitializeLogConfig succeeded.
    static std::string CurrentLogFile();
};

class ILocalizationMgr {
public:
    virtual ~ILocalizationMgr() = default;
    static std::shared_ptr<ILocalizationMgr> SharedLocalizationMgr();
    virtual void SetLanguage(int code) = 0;
};

} // namespace Corbelin
