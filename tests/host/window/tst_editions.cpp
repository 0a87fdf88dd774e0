// The document tabs and the layouts of the other editions: the tab widget's
// bookkeeping, tab widths and add button, and the all-modules ("LUMENFOLD")
// and attachment ("TASSELBY") main windows with their routing through the
// tabs, titles and dialog filters.
#include "host/plugin/DocumentPluginManager.h"
#include "host/window/BrowserTabWidget.h"
#include "host/window/HomeModuleCard.h"
#include "host/window/MainWindow.h"
#include "host/window/RecentFiles.h"
#include "WindowTestSupport.h"

#include <Corbelin/SupportFoundation.h>

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QWidget* labelFor(const QString& path) { return new QLabel(path); }

QWidget* fileTab(const QString& path)
{
    QWidget* w = labelFor(path);
    w->setProperty("sourceFilePath", path);
    return w;
}

QString currentPageName(const MainWindow& window)
{
    return window.findChild<QStackedWidget*>(QStringLiteral("stackedWidget"))->currentWidget()->objectName();
}

} // namespace

class TestEditions : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void tabBookkeeping();
    void tabWidths_data();
    void tabWidths();
    void addButtonAsksForFiles();
    void allModulesHomePageAndRouting();
    void attachmentEdition();
    // Last: once the application has quit, no later event loop runs.
    void attachmentEditionWithoutItsModuleQuits();

private:
    // A main window of the edition that finds the stand-in readers (and the
    // PST module) through the working directory's module directories.
    std::unique_ptr<MainWindow> window(const QString& edition, bool withReaders = true);

    QTemporaryDir dir;
};

void TestEditions::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("Marrowin"));
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("logs")));
    QVERIFY(Corbelin::ILogConfig::InitializeLogConfig(dir.filePath(QStringLiteral("logs")).toStdString()));
}

std::unique_ptr<MainWindow> TestEditions::window(const QString& edition, bool withReaders)
{
    const QString work = dir.filePath(withReaders ? QStringLiteral("work") : QStringLiteral("bare"));
    QDir().mkpath(work);
    if (withReaders) {
        QFile::link(qEnvironmentVariable("MARROWIN_TEST_READER_DIR"), work + QStringLiteral("/pdf"));
        QFile::link(qEnvironmentVariable("MARROWIN_BUILD_DIR") + QStringLiteral("/bin/plugins"),
                    work + QStringLiteral("/sorrel"));
    }
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work);
    auto w = std::make_unique<MainWindow>(edition);
    QDir::setCurrent(previous);
    return w;
}

void TestEditions::tabBookkeeping()
{
    BrowserTabWidget tabs;
    QSignalSpy allClosed(&tabs, &BrowserTabWidget::allTabClosed);
    tabs.addTab(labelFor(QStringLiteral("welcome")), QStringLiteral("Welcome")); // a tab without a file
    tabs.addTab(fileTab(QStringLiteral("/d/a.pdf")), QStringLiteral("a.pdf"));
    tabs.registerFile(QStringLiteral("/d/a.pdf"));
    tabs.addTab(fileTab(QStringLiteral("/d/b.pdf")), QStringLiteral("b.pdf"));
    tabs.registerFile(QStringLiteral("/d/b.pdf"));
    tabs.registerFile(QStringLiteral("/d/b.pdf"));
    QCOMPARE(tabs.files(), QStringList({QStringLiteral("/d/a.pdf"), QStringLiteral("/d/b.pdf")}));

    // A tab is found by its own file, whatever stands before it.
    QCOMPARE(tabs.indexOfFile(QStringLiteral("/d/b.pdf")), 2);
    QCOMPARE(tabs.indexOfFile(QStringLiteral("/d/a.pdf")), 1);
    QCOMPARE(tabs.indexOfFile(QStringLiteral("/d/A.pdf")), -1);
    QCOMPARE(tabs.indexOfFile(QString()), -1);

    tabs.closeTab(0);
    QCOMPARE(tabs.files().size(), 2); // the tab without a file had none to forget
    QCOMPARE(tabs.indexOfFile(QStringLiteral("/d/b.pdf")), 1);
    emit tabs.tabCloseRequested(0); // the tab's close button
    QCOMPARE(tabs.files(), QStringList(QStringLiteral("/d/b.pdf")));
    QCOMPARE(allClosed.count(), 0);
    QPointer<QWidget> last = tabs.widget(0);
    tabs.closeTab(0);
    QVERIFY(!last); // deleted with its tab
    QCOMPARE(allClosed.count(), 1);
    QCOMPARE(tabs.files(), QStringList());
}

void TestEditions::tabWidths_data()
{
    QTest::addColumn<int>("tabCount");
    QTest::addColumn<int>("width");
    QTest::newRow("one tab: at most 180") << 1 << 180;
    QTest::newRow("ten tabs share the bar") << 10 << 67;
    QTest::newRow("fifty tabs: at least 18") << 50 << 18;
}

void TestEditions::tabWidths()
{
    QFETCH(int, tabCount);
    QFETCH(int, width);
    BrowserTabWidget tabs;
    // Tabs 30 pixels high on a 700 pixel bar; 30 are kept for the add button.
    tabs.tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { height: 30px; padding: 0; margin: 0; border: none; }"));
    for (int i = 0; i < tabCount; ++i)
        tabs.addTab(labelFor(QString::number(i)), QString::number(i));
    tabs.resize(700, 300);
    tabs.tabBar()->resize(700, tabs.tabBar()->height());
    auto* bar = static_cast<BrowserTabBar*>(tabs.tabBar());
    QCOMPARE(bar->tabSizeHint(0).height(), 30);
    QCOMPARE(bar->tabSizeHint(0).width(), width);
}

void TestEditions::addButtonAsksForFiles()
{
    BrowserTabWidget tabs;
    tabs.addTab(fileTab(QStringLiteral("/d/a.pdf")), QStringLiteral("a.pdf"));
    tabs.addTab(fileTab(QStringLiteral("/d/b.pdf")), QStringLiteral("b.pdf"));
    tabs.resize(700, 300);
    tabs.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tabs));
    auto* bar = static_cast<BrowserTabBar*>(tabs.tabBar());
    const QRect add = bar->addButtonRect();
    QCOMPARE(add.left(), bar->tabRect(1).right() + 1);
    QCOMPARE(add.width(), bar->tabRect(1).height());

    QSignalSpy asked(&tabs, &BrowserTabWidget::addFileClicked);
    QSignalSpy moved(bar, &QTabBar::tabMoved);
    QTest::mouseClick(bar, Qt::LeftButton, {}, add.center());
    QCOMPARE(asked.count(), 1);
    QCOMPARE(tabs.currentIndex(), 0);
    QCOMPARE(moved.count(), 0);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    QCOMPARE(asked.count(), 1);
    QCOMPARE(tabs.currentIndex(), 1);
}

void TestEditions::allModulesHomePageAndRouting()
{
    BoxCatcher boxes;
    auto w = window(QStringLiteral("LUMENFOLD"));
    QSignalSpy titles(w.get(), &MainWindow::lumenfoldWindowTitleChanged);
    QSignalSpy bookmarkState(w.get(), &MainWindow::bookmarkCommandsEnabledChanged);
    QCOMPARE(currentPageName(*w), QStringLiteral("homePage"));
    QCOMPARE(w->windowTitle(), QStringLiteral("Marrowin"));

    // Seven cards in their cells; the form's placeholders are gone.
    auto* grid = w->findChild<QGridLayout*>(QStringLiteral("homeModulesGrid"));
    QStringList cells;
    for (int i = 0; i < grid->count(); ++i) {
        int row, column, rows, columns;
        grid->getItemPosition(i, &row, &column, &rows, &columns);
        if (auto* card = qobject_cast<HomeModuleCard*>(grid->itemAt(i)->widget()))
            cells.append(QStringLiteral("%1@%2,%3").arg(card->moduleId()).arg(row).arg(column));
    }
    QCOMPARE(cells, QStringList({"pdf@0,0", "pst@0,1", "winmail@0,2", "wpd@0,3", "djvu@1,0", "xps@1,1", "visio@1,2"}));
    QVERIFY(w->findChild<QWidget*>(QStringLiteral("btnHomePdf"))->isHidden());

    auto* pdfCard = w->findChild<HomeModuleCard*>(QStringLiteral("card_pdf"));
    QTest::mouseClick(pdfCard, Qt::LeftButton, {}, QPoint(30, 30));
    QCOMPARE(currentPageName(*w), QStringLiteral("readerPage"));
    QCOMPARE(w->findChild<QStackedWidget*>(QStringLiteral("readerContentStack"))->currentWidget()->objectName(),
             QStringLiteral("emptyPage"));
    QCOMPARE(w->activeReaderModuleId(), QStringLiteral("pdf"));
    QCOMPARE(w->windowTitle(), QStringLiteral("PDF Reader"));
    QCOMPARE(titles.count(), 1);
    QCOMPARE(titles.last().first().toString(), QStringLiteral("PDF Reader"));
    QCOMPARE(w->openDialogFilter(), QStringLiteral("PDF Files (*.pdf)"));

    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("docs")));
    const QString a = touch(dir.filePath(QStringLiteral("docs/a.pdf")));
    const QString b = touch(dir.filePath(QStringLiteral("docs/b.pdf")));
    auto* tabs = w->findChild<BrowserTabWidget*>(QStringLiteral("tabWidget"));
    w->openFile(a);
    w->openFile(b);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->files(), QStringList({a, b}));
    QCOMPARE(loadRecentFiles().mid(0, 2), QStringList({b, a}));
    QVERIFY(bookmarkState.last().first().toBool()); // the PDF reader offers bookmarks

    // A tab without a file before them must not shift which tab a file finds.
    tabs->insertTab(0, labelFor(QStringLiteral("welcome")), QStringLiteral("Welcome"));
    w->openFile(a);
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->currentWidget()->property("sourceFilePath").toString(), a);
    QCOMPARE(loadRecentFiles().first(), a);

    // Not the active module's kind: refused with the file named.
    const QString xps = touch(dir.filePath(QStringLiteral("docs/c.xps")));
    QVERIFY(!w->openFileIfAllowed(xps));
    QCOMPARE(boxes.boxes, QStringList(QStringLiteral("Unsupported Format / This file type is not available in the "
                                                     "current reader module. [%1]")
                                          .arg(xps)));

    while (tabs->count() > 0)
        tabs->closeTab(0);
    QCOMPARE(w->findChild<QStackedWidget*>(QStringLiteral("readerContentStack"))->currentWidget()->objectName(),
             QStringLiteral("emptyPage"));
    QVERIFY(!bookmarkState.last().first().toBool());

    // The attachment page, its own tabs and title.
    QTest::mouseClick(w->findChild<HomeModuleCard*>(QStringLiteral("card_winmail")), Qt::LeftButton, {}, QPoint(30, 30));
    QCOMPARE(currentPageName(*w), QStringLiteral("winmailPage"));
    QCOMPARE(titles.last().first().toString(), QStringLiteral("Winmail Reader"));
    w->openFile(touch(dir.filePath(QStringLiteral("docs/winmail.dat"))));
    QCOMPARE(w->findChild<BrowserTabWidget*>(QStringLiteral("winmailTabWidget"))->count(), 1);
    QCOMPARE(w->openDialogFilter(), QStringLiteral("Winmail Files (*.dat *.tnef)"));

    // The PST card shows the PST module's page, its widget made on first use.
    QTest::mouseClick(w->findChild<HomeModuleCard*>(QStringLiteral("card_pst")), Qt::LeftButton, {}, QPoint(30, 30));
    QCOMPARE(currentPageName(*w), QStringLiteral("pstPage"));
    QVERIFY(w->pstWidget());
    QCOMPARE(w->windowTitle(), QStringLiteral("PST Reader"));
    QCOMPARE(w->activeReaderModuleId(), QString());

    w->showHomePage();
    QCOMPARE(currentPageName(*w), QStringLiteral("homePage"));
    QCOMPARE(w->windowTitle(), QStringLiteral("Marrowin"));
    QCOMPARE(boxes.boxes.size(), 1);
}

void TestEditions::attachmentEdition()
{
    BoxCatcher boxes;
    auto w = window(QStringLiteral("TASSELBY"));
    QCOMPARE(boxes.boxes, QStringList());
    QCOMPARE(currentPageName(*w), QStringLiteral("winmailPage"));
    QCOMPARE(w->activeReaderModuleId(), QStringLiteral("winmail"));
    QVERIFY(w->findChild<QWidget*>(QStringLiteral("toolbarWidget"))->isHidden());
    QCOMPARE(w->openDialogFilter(), QStringLiteral("Winmail Files (*.dat *.tnef)"));
    QVERIFY(!w->openFileIfAllowed(touch(dir.filePath(QStringLiteral("report.pdf")))));
    QCOMPARE(boxes.boxes.size(), 1);
}

void TestEditions::attachmentEditionWithoutItsModuleQuits()
{
    BoxCatcher boxes;
    auto w = window(QStringLiteral("TASSELBY"), false);
    QCOMPARE(boxes.boxes, QStringList({QStringLiteral(
                              "Launch Failed / Failed to load Winmail document component. Please reinstall Marrowin.")}));
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
    QCOMPARE(QApplication::exec(), 0);
}

int main(int argc, char** argv)
{
    // The PST module's web views want shared GL contexts from the start.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestEditions test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_editions.moc"
