#include "common/Log.h"

#include <Corbelin/SupportFoundation.h>

#include <QString>

namespace mw {

void logInfo(const QString& line)
{
    Corbelin::ILogConfig::Info(line.toStdString());
}

void logWarning(const QString& line)
{
    Corbelin::ILogConfig::Warning(line.toStdString());
    Corbelin::ILogConfig::FlushBuffer();
}

} // namespace mw
