#include "host/shell/ApplicationStartup.h"

#include "common/Log.h"
#include "common/ProductProfile.h"
#include "host/shell/LogPruning.h"
#include "host/shell/MessageHandler.h"

#include <Corbelin/SupportFoundation.h>
#include <Corbelin/SupportServices.h>

#include <QApplication>
#include <QIcon>

namespace ApplicationStartup {
namespace {

void startOnce()
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(ProductProfile::kOrganizationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(ProductProfile::kApplicationName));
    // Lets the desktop match the windows to the installed .desktop entry
    // (its icon and name in docks and task switchers).
    QGuiApplication::setDesktopFileName(QString::fromLatin1(ProductProfile::kDesktopId));

    ProductProfile::makeDirectories();

    HostLog::pruneOldLogFiles(ProductProfile::logDirectory());

    Corbelin::ILogConfig::InitializeLogConfig(ProductProfile::logDirectory().toStdString());
    mw::logInfo(QStringLiteral("Program startup: initialization in progress..."));
    QApplication::setWindowIcon(
        QIcon(QStringLiteral(":/img/icons/%1").arg(QLatin1String(ProductProfile::kWindowIconFile))));

    auto meta = Corbelin::IProductMeta::MallocProductMeta(ProductProfile::kProductId);
    if (meta) {
        meta->SetVersion(ProductProfile::kVersion);
        meta->SetMakerName(ProductProfile::kOrganizationName);
    }
    if (auto updates = Corbelin::IUpdatesService::Shared())
        updates->Configure(meta, true);

    HostLog::installMessageHandler();

    (void)Corbelin::ICrashReportService::StartCrashReportingWith(std::string());
}

} // namespace

void run()
{
    static const bool done = [] {
        startOnce();
        return true;
    }();
    (void)done;
}

} // namespace ApplicationStartup
