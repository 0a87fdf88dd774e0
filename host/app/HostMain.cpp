#include "host/app/HostMain.h"

#include "common/Log.h"
#include "common/Platform.h"
#include "host/app/SingleInstance.h"
#include "host/shell/ApplicationStartup.h"
#include "host/shell/CustomWindowFrame.h"
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

    // The frame adopts the window; deleting the frame deletes both.
    auto* w = new MainWindow;
    const QScreen* screen = QGuiApplication::primaryScreen();
    w->resize(MainWindow::initialSize(screen ? screen->availableGeometry().size() : QSize(1920, 1040)));

    // Posted first, so the figure is not held up by the documents opened below.
    QTimer::singleShot(0, w, [sinceStart] {
        mw::logInfo(QStringLiteral("[profile] Main window shown: %1 ms after start").arg(sinceStart.elapsed()));
    });

    FrameCallbacks callbacks;
    callbacks.mode = 0;
    callbacks.openFile = [w](const QString& path) { w->openFile(path); };
    callbacks.fileAction = [w](AppMenu::FileAction action) {
        if (action == AppMenu::AddFile)
            w->on_btnOpenFile_clicked();
        else if (action == AppMenu::OpenManagerBookmarks)
            w->showBookmarkManagerDialog();
    };

    // Handed-over files arrive from the event loop, after their connection
    // has gone: opening one may run a message box.
    SingleInstance::startServer([w](const QStringList& files) {
        Platform::bringToFront(w);
        for (const QString& file : files)
            w->openFile(file);
    });
    for (const QString& file : SingleInstance::filesFromArguments(QCoreApplication::arguments()))
        QTimer::singleShot(0, w, [w, file] { w->openFile(file); });

    auto frame = std::make_unique<CustomWindowFrame>(w, nullptr, callbacks.mode, callbacks);
    frame->show();

    const int result = QApplication::exec();
    frame.reset();
    app.reset();
    return result;
}
