// The main window of this edition: the PST module page, routing of opened
// and dropped files (boxes about a file name it), recent files, the
// status-message list, and the start without module.
#include "common/ProductProfile.h"
#include "common/AppConfig.h"
#include "host/plugin/DocumentPluginManager.h"
#include "host/window/MainWindow.h"
#include "host/window/RecentFiles.h"
#include "host/window/StatusMessageList.h"
#include "WindowTestSupport.h"

#include <Corbelin/SupportFoundation.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {

QMimeData* urlData(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls.append(QUrl::fromLocalFile(p));
    data->setUrls(urls);
    return data;
}

bool dragAccepted(QWidget* target, const QStringList& paths)
{
    std::unique_ptr<QMimeData> data(urlData(paths));
    QDragEnterEvent event(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    event.setAccepted(false);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}

void drop(QWidget* target, const QStringList& paths)
{
    std::unique_ptr<QMimeData> data(urlData(paths));
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    // Every module widget starts from no saved workspace (the test's HOME
    // outlives a run).
    void init() { QFile::remove(ProductProfile::configDirectory() + QStringLiteral("/pst_session.json")); }
    void initTestCase();
    void statusMessageList();
    void statusBarFollowsTheList();
    void initialSize_data();
    void initialSize();
    void pstPageHoldsTheModuleWidget();
    void routesOpenedFiles();
    void dropsRefuseUnopenableFiles();
    // Last: once the application has quit, no later event loop runs.
    void missingModuleShowsLaunchFailedAndQuits();

private:
    // A main window that finds the module through the working directory's
    // "sorrel" directory.
    std::unique_ptr<MainWindow> windowWithModule();

    QTemporaryDir dir;
};

void TestMainWindow::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("Marrowin"));
    qputenv("XDG_CONFIG_HOME", QDir::homePath().toLocal8Bit() + "/.config");
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("logs")));
    QVERIFY(Corbelin::ILogConfig::InitializeLogConfig(dir.filePath(QStringLiteral("logs")).toStdString()));
}

void TestMainWindow::statusMessageList()
{
    QObject a, b;
    StatusMessageList list;
    QVERIFY(list.show(&a, QStringLiteral("from A")));
    QVERIFY(list.show(&b, QStringLiteral("from B")));
    QCOMPARE(list.shownText(), QStringLiteral("from B"));
    QVERIFY(!list.show(&b, QStringLiteral("from B"))); // same text again: no refresh
    QVERIFY(list.clear(&b));
    QCOMPARE(list.shownText(), QStringLiteral("from A"));
    // A's second message moves A to the end.
    QVERIFY(list.show(&b, QStringLiteral("B again")));
    QVERIFY(list.show(&a, QStringLiteral("A again")));
    QCOMPARE(list.shownText(), QStringLiteral("A again"));
    QVERIFY(!list.clear(&b)); // B was not the one shown
    QVERIFY(!list.clear(&b)); // unknown owner
    QVERIFY(list.clear(&a));
    QVERIFY(list.isEmpty());
    QCOMPARE(list.shownText(), QString());
}

void TestMainWindow::statusBarFollowsTheList()
{
    auto owned = windowWithModule();
    MainWindow& window = *owned;
    QObject a;
    QVERIFY(!window.findChild<QStatusBar*>() || !window.findChild<QStatusBar*>()->isVisibleTo(&window));
    window.showStatusMessage(&a, QStringLiteral("Loading 3 of 9"));
    QStatusBar* bar = window.findChild<QStatusBar*>();
    QVERIFY(bar);
    QVERIFY(bar->isVisibleTo(&window));
    QCOMPARE(bar->currentMessage(), QStringLiteral("Loading 3 of 9"));
    QVERIFY(!bar->isSizeGripEnabled());
    window.clearStatusMessage(&a);
    QVERIFY(!bar->isVisibleTo(&window));
    QCOMPARE(bar->currentMessage(), QString());
    QCOMPARE(window.temporaryDirectory(), qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/Tarnwick/Marrowin"));
}

void TestMainWindow::initialSize_data()
{
    QTest::addColumn<QSize>("available");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("small laptop") << QSize(1366, 728) << QSize(900, 560);
    QTest::newRow("full hd") << QSize(1920, 1040) << QSize(1104, 750);
    QTest::newRow("just wide enough, too low") << QSize(1308, 939) << QSize(900, 560);
    QTest::newRow("exact limit") << QSize(1308, 940) << QSize(1104, 750);
}

void TestMainWindow::initialSize()
{
    QFETCH(QSize, available);
    QFETCH(QSize, expected);
    QCOMPARE(MainWindow::initialSize(available), expected);
}

void TestMainWindow::missingModuleShowsLaunchFailedAndQuits()
{
    BoxCatcher boxes;
    MainWindow window; // no plug-in in any search directory of this test
    QCOMPARE(boxes.boxes, QStringList({QStringLiteral(
                              "Launch Failed / Failed to load PST document component. Please reinstall Marrowin.")}));
    // The queued quit ends the application's event loop as soon as it runs.
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!window.pstWidget());
}

std::unique_ptr<MainWindow> TestMainWindow::windowWithModule()
{
    const QString work = dir.filePath(QStringLiteral("work"));
    QDir().mkpath(work);
    QFile::link(qEnvironmentVariable("MARROWIN_BUILD_DIR") + QStringLiteral("/bin/plugins"), work + QStringLiteral("/sorrel"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work);
    auto window = std::make_unique<MainWindow>();
    QDir::setCurrent(previous);
    return window;
}

void TestMainWindow::pstPageHoldsTheModuleWidget()
{
    BoxCatcher boxes;
    auto window = windowWithModule();
    QCOMPARE(boxes.boxes, QStringList());
    QWidget* module = window->pstWidget();
    QVERIFY(module);
    QCOMPARE(module->parentWidget()->objectName(), QStringLiteral("pstPage"));
    QCOMPARE(window->activeReaderModuleId(), QStringLiteral("pst"));
    QCOMPARE(window->property("activeReaderModuleId").toString(), QStringLiteral("pst"));
    QCOMPARE(module->findChild<QLabel*>(QStringLiteral("label"))->text(), QStringLiteral("Add or drag files here"));
    QCOMPARE(module->findChild<QPushButton*>(QStringLiteral("btnOpenFile"))->text(), QString::fromUtf8("＋ Add File(s)"));
    QCOMPARE(window->documentPluginManager()->openFileFilter(),
             QStringLiteral("Supported Documents (*.ost *.pst);;All Files (*)"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Marrowin"));
    QCOMPARE(QImage(QStringLiteral(":/img/icons/pst_icon.ico")).size(), QSize(48, 48)); // the window icon decodes
    QVERIFY(!window->findChild<QWidget*>(QStringLiteral("toolbarWidget"))->isVisibleTo(window.get()));
}

void TestMainWindow::routesOpenedFiles()
{
    BoxCatcher boxes;
    auto window = windowWithModule();
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("mail")));
    const QString upper = touch(dir.filePath(QStringLiteral("mail/OLD MAIL.PST")));
    const QString offline = touch(dir.filePath(QStringLiteral("mail/mailbox.ost")));
    const QString pdf = touch(dir.filePath(QStringLiteral("mail/report.pdf")));

    QSignalSpy handed(window->pstWidget(), SIGNAL(fileAccessRequested(QString)));
    window->openFile(upper);
    window->openFile(offline);
    window->openFile(dir.filePath(QStringLiteral("mail/missing.pst")));
    window->openFile(pdf);
    window->openFile(QString());
    // The module's queue tries the two files it got (.pst and .ost, both in
    // its page, none in a tab of its own); they are no Outlook files.
    QObject* queue = window->pstWidget()->findChild<QObject*>(QStringLiteral("treeController"));
    QVERIFY(queue);
    QTRY_VERIFY(!queue->property("busy").toBool());
    QTRY_COMPARE(boxes.boxes.size(), 4);

    // The module's boxes may come while the host's boxes are still up.
    QStringList shown = boxes.boxes;
    shown.sort();
    QCOMPARE(shown, QStringList({QStringLiteral("Open Failed / File does not exist. [%1]")
                                     .arg(dir.filePath(QStringLiteral("mail/missing.pst"))),
                                 QStringLiteral("Unsupported Format / No document plugin can open this file. [%1]").arg(pdf),
                                 QStringLiteral("Warning / Error opening file."),
                                 QStringLiteral("Warning / Error opening file.")}));
    QCOMPARE(handed.count(), 2);
    QCOMPARE(handed.at(0).at(0).toString(), upper);
    QCOMPARE(handed.at(1).at(0).toString(), offline);
    const QString log = readLog();
    QVERIFY2(log.contains(QStringLiteral("Open file:") + upper), qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("File not found:") + dir.filePath(QStringLiteral("mail/missing.pst"))));
    QCOMPARE(AppConfig::instance()->lastOpenPath(), QFileInfo(upper).absolutePath());

    // A file the module opened joins the recent files.
    QVERIFY(QMetaObject::invokeMethod(window->pstWidget(), "fileOpened", Q_ARG(QString, upper)));
    QCOMPARE(loadRecentFiles().value(0), upper);
}

void TestMainWindow::dropsRefuseUnopenableFiles()
{
    BoxCatcher boxes;
    auto window = windowWithModule();
    const QString a = touch(dir.filePath(QStringLiteral("dropped-a.pst")));
    const QString b = touch(dir.filePath(QStringLiteral("dropped-b.Pst")));
    const QString text = touch(dir.filePath(QStringLiteral("notes.txt")));
    QWidget* page = window->findChild<QWidget*>(QStringLiteral("pstPage"));

    QVERIFY(!dragAccepted(page, {a, text}));
    QVERIFY(dragAccepted(page, {a, b}));
    QSignalSpy handed(window->pstWidget(), SIGNAL(fileAccessRequested(QString)));
    drop(page, {a, b});
    // Both go to the module's queue in drop order; neither is a PST file.
    QObject* queue = window->pstWidget()->findChild<QObject*>(QStringLiteral("treeController"));
    QVERIFY(queue);
    QTRY_VERIFY(!queue->property("busy").toBool());
    QTRY_COMPARE(boxes.boxes.size(), 2);
    QCOMPARE(handed.count(), 2);
    QCOMPARE(handed.at(0).at(0).toString(), a);
    QCOMPARE(handed.at(1).at(0).toString(), b);
    QCOMPARE(boxes.boxes, QStringList(2, QStringLiteral("Warning / Error opening file.")));
}

int main(int argc, char** argv)
{
    // The module's web views want shared GL contexts from the start.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
