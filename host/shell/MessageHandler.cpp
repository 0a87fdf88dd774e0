#include "host/shell/MessageHandler.h"

#include <Corbelin/SupportFoundation.h>

#include <atomic>
#include <cstdlib>

namespace HostLog {
namespace {

QtMessageHandler previousHandler = nullptr;
std::atomic<LineWriter> currentWriter{nullptr};
thread_local bool insideHandler = false;

const char* levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "Debug";
    case QtWarningMsg: return "Warning";
    case QtCriticalMsg: return "Critical";
    case QtFatalMsg: return "Fatal";
    case QtInfoMsg: return "Info";
    }
    return "Debug";
}

void writeToSink(QtMsgType type, const std::string& line)
{
    switch (type) {
    case QtDebugMsg:
    case QtInfoMsg:
        Corbelin::ILogConfig::Info(line);
        break;
    case QtWarningMsg:
        Corbelin::ILogConfig::Warning(line);
        Corbelin::ILogConfig::FlushBuffer();
        break;
    case QtCriticalMsg:
    case QtFatalMsg:
        Corbelin::ILogConfig::Fatal(line);
        Corbelin::ILogConfig::FlushBuffer();
        break;
    }
}

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (insideHandler) {
        // Raised while writing (for example by the sink itself): do not recurse.
        if (previousHandler)
            previousHandler(type, context, message);
        return;
    }
    insideHandler = true;
    const LineWriter writer = currentWriter.load();
    (writer ? writer : writeToSink)(type, formatLine(type, context, message).toStdString());
    insideHandler = false;
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

QString formatLine(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    QString location;
    if (context.file && *context.file) {
        const QString file = QString::fromUtf8(context.file);
        const qsizetype cut = qMax(file.lastIndexOf(QLatin1Char('/')), file.lastIndexOf(QLatin1Char('\\')));
        location = QStringLiteral(" (%1:%2)").arg(file.mid(cut + 1)).arg(context.line);
    }
    return QStringLiteral("[%1]%2 %3").arg(QLatin1String(levelName(type)), location, message);
}

void installMessageHandler(LineWriter writer)
{
    currentWriter.store(writer);
    static const bool installed = [] {
        previousHandler = qInstallMessageHandler(handleMessage);
        return true;
    }();
    (void)installed;
}

} // namespace HostLog
