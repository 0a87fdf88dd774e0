#pragma once
// Routes Qt's own messages (qDebug ... qFatal) into the log.

#include <QString>
#include <QtGlobal>

#include <string>

namespace HostLog {

// "[Level] (file:line) text", or "[Level] text" without a source location.
QString formatLine(QtMsgType type, const QMessageLogContext& context, const QString& message);

// Where a formatted line goes. The default writes to the logging sink:
// debug and info as information lines, warnings flushed, critical and fatal
// as fatal lines, flushed.
using LineWriter = void (*)(QtMsgType type, const std::string& line);

// Installs the handler once per process (later calls only replace the
// writer). A message raised on a thread that is already inside the handler
// goes to the previously installed handler instead.
void installMessageHandler(LineWriter writer = nullptr);

} // namespace HostLog
