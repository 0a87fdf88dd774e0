#pragma once
// The program's own log lines: information lines, and warning lines that are
// flushed at once. Both go to the shared sink without a level prefix.

class QString;

namespace mw {
void logInfo(const QString& line);
void logWarning(const QString& line);
} // namespace mw
