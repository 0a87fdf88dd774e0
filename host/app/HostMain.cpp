#include "host/app/HostMain.h"

#include "common/Log.h"
#include "common/Platform.h"
#include "host/app/SingleInstance.h"
#include "host/shell/ApplicationStartup.h"
#include "host/window/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QScreen>
#include <QTimer>

#include <memory>

namespace {

// Set before any Qt object exists; a value the caller already set wins, so a
// headless machine can pass its own Chromium flags.
void prepareWebEngineEnvironment()
{
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
                "--disable-background-networking --disable-sync --num-raster-threads=4 --enable-zero-copy");
}

} // namespace

int marrowinMain(int argc, char** argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    prepareWebEngineEnvironment();
    // The module's web views need shared GL contexts, which must be asked
    // for before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    auto app = std::make_unique<QApplication>(argc, argv);
    QFont font;
    font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(12);
    QApplication::setFont(font);

    if (SingleInstance::handOverToRunningInstance())
        return 0;

    ApplicationStartup::run();

    auto window = std::make_unique<MainWindow>();
    const QScreen* screen = QGuiApplication::primaryScreen();
    window->resize(MainWindow::initialSize(screen ? screen->availableGeometry().size() : QSize(1920, 1040)));

    MainWindow* w = window.get();
    // Posted first, so the figure is not held up by the documents opened below.
    QTimer::singleShot(0, w, [sinceStart] {
        mw::logInfo(QStringLiteral("[profile] Main window shown: %1 ms after start").arg(sinceStart.elapsed()));
    });
    SingleInstance::startServer([w](const QStringList& files) {
        for (const QString& file : files)
            w->openFile(file);
        Platform::bringToFront(w);
    });
    for (const QString& file : SingleInstance::filesFromArguments(QCoreApplication::arguments()))
        QTimer::singleShot(0, w, [w, file] { w->openFile(file); });

    w->show();

    const int result = QApplication::exec();
    window.reset();
    app.reset();
    return result;
}
