// The application menu: its entries per edition, the recent files (the JSON
// file's reading and writing rules, order, limit, exact paths and the
// submenu), the About box and the installed user guide.
#include "common/ProductProfile.h"
#include "host/window/AboutDialog.h"
#include "host/window/AppMenu.h"
#include "host/window/RecentFiles.h"

#include <Corbelin/SupportFoundation.h>

#include "WindowTestSupport.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

void writeRecentFile(const QByteArray& content)
{
    QFile file(recentFilesPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QStringList entryTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts.append(action->isSeparator() ? QStringLiteral("--") : action->text());
    return texts;
}

ino_t inodeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

} // namespace

class TestAppMenu : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void recentFilesOrderLimitAndExactPaths();
    void readingRules_data();
    void readingRules();
    void recentFilesAreReplacedWholeAndFailuresLogged();
    void recentFilesSubmenu();
    void entriesPerEdition_data();
    void entriesPerEdition();
    void bookmarkEntriesAskTheFrame();
    void aboutBox();
    void userGuideIsInstalledAndWhole();

private:
    QTemporaryDir logs;
};

void TestAppMenu::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("Marrowin"));
    QVERIFY(Corbelin::ILogConfig::InitializeLogConfig(logs.path().toStdString()));
}

void TestAppMenu::init()
{
    QFile::remove(recentFilesPath());
    QDir(recentFilesPath()).removeRecursively();
}

void TestAppMenu::recentFilesOrderLimitAndExactPaths()
{
    QCOMPARE(QFileInfo(recentFilesPath()).fileName(), QStringLiteral("recent_files.json"));
    QCOMPARE(QFileInfo(recentFilesPath()).absolutePath(), ProductProfile::configDirectory());

    addRecentFile(QStringLiteral("/mail/a.pst"));
    addRecentFile(QStringLiteral("/mail/b.pst"));
    // Another letter case is another file on Linux; a path that cleans to
    // the same file is the same entry.
    addRecentFile(QStringLiteral("/mail/A.pst"));
    addRecentFile(QStringLiteral("/mail/old/../b.pst"));
    QCOMPARE(loadRecentFiles(), QStringList({QStringLiteral("/mail/b.pst"), QStringLiteral("/mail/A.pst"),
                                             QStringLiteral("/mail/a.pst")}));

    addRecentFile(QString());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QDir::tempPath());
    addRecentFile(QStringLiteral("relative.pst"));
    QDir::setCurrent(previous);
    QCOMPARE(loadRecentFiles().first(), QDir(QDir::tempPath()).absoluteFilePath(QStringLiteral("relative.pst")));

    for (int i = 1; i <= 12; ++i)
        addRecentFile(QStringLiteral("/mail/%1.pst").arg(i));
    QStringList newest;
    for (int i = 12; i >= 3; --i)
        newest.append(QStringLiteral("/mail/%1.pst").arg(i));
    QCOMPARE(loadRecentFiles(), newest);
}

void TestAppMenu::readingRules_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");
    QStringList fifteen;
    QByteArray fifteenJson = "[";
    for (int i = 1; i <= 15; ++i) {
        fifteen.append(QStringLiteral("/m/%1.pst").arg(i));
        fifteenJson += (i > 1 ? "," : "") + QByteArray("\"/m/") + QByteArray::number(i) + ".pst\"";
    }
    fifteenJson += "]";
    QTest::newRow("fifteen entries by hand") << fifteenJson << fifteen.mid(0, 10);
    QTest::newRow("an object") << QByteArray("{\"files\": [\"/m/a.pst\"]}") << QStringList();
    QTest::newRow("not JSON") << QByteArray("[\"/m/a.pst\", ") << QStringList();
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("repeats, blanks and non-strings")
        << QByteArray("[\"/m/a.pst\", \"\", 7, null, \"/m/a.pst\", \"/m/b.pst\"]")
        << QStringList({QStringLiteral("/m/a.pst"), QStringLiteral("/m/b.pst")});
}

void TestAppMenu::readingRules()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    writeRecentFile(content);
    QCOMPARE(loadRecentFiles(), expected);
    // The next addition replaces whatever was there with a sound list.
    addRecentFile(QStringLiteral("/m/new.pst"));
    QCOMPARE(loadRecentFiles(), QStringList(QStringLiteral("/m/new.pst")) + expected.mid(0, 9));
}

void TestAppMenu::recentFilesAreReplacedWholeAndFailuresLogged()
{
    addRecentFile(QStringLiteral("/m/a.pst"));
    const ino_t before = inodeOf(recentFilesPath());
    QVERIFY(before != 0);
    addRecentFile(QStringLiteral("/m/b.pst"));
    // A new file took the old one's place: the old one was never truncated.
    QVERIFY(inodeOf(recentFilesPath()) != before);
    QCOMPARE(QDir(ProductProfile::configDirectory()).entryList(QDir::Files), QStringList(QStringLiteral("recent_files.json")));
    QCOMPARE(loadRecentFiles(), QStringList({QStringLiteral("/m/b.pst"), QStringLiteral("/m/a.pst")}));

    // Nothing can be written where a directory stands: logged, no crash.
    QFile::remove(recentFilesPath());
    QVERIFY(QDir().mkpath(recentFilesPath()));
    addRecentFile(QStringLiteral("/m/c.pst"));
    QVERIFY2(readLog().contains(QStringLiteral("Could not save ") + recentFilesPath()), qPrintable(readLog()));
    QCOMPARE(loadRecentFiles(), QStringList());
}

void TestAppMenu::recentFilesSubmenu()
{
    AppMenu menu(0);
    QMenu* recent = menu.recentFilesMenu();
    menu.refreshRecentFiles();
    QCOMPARE(entryTexts(recent), QStringList(QStringLiteral("No Recent Files")));
    QVERIFY(!recent->actions().first()->isEnabled());

    addRecentFile(QStringLiteral("/mail/plain.pst"));
    addRecentFile(QStringLiteral("/mail/R&D archive.pst"));
    emit recent->aboutToShow(); // the submenu reads the file each time it opens
    QCOMPARE(entryTexts(recent), QStringList({QStringLiteral("1. R&&D archive.pst"), QStringLiteral("2. plain.pst")}));
    QCOMPARE(recent->actions().first()->toolTip(), QStringLiteral("/mail/R&D archive.pst"));

    QSignalSpy chosen(&menu, &AppMenu::recentFileTriggered);
    QSignalSpy fileActions(&menu, &AppMenu::fileActionTriggered);
    recent->actions().at(1)->trigger();
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().first().toString(), QStringLiteral("/mail/plain.pst"));
    QCOMPARE(fileActions.count(), 0);
}

void TestAppMenu::entriesPerEdition_data()
{
    QTest::addColumn<QString>("edition");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("entries");
    const QStringList help = {QStringLiteral("User Guide"), QStringLiteral("Show Log in File Manager"), QStringLiteral("About")};
    const QStringList recent = {QStringLiteral("Recent Files"), QStringLiteral("--")};
    const QStringList bookmarks = {QStringLiteral("Bookmarks"), QStringLiteral("--")};
    QTest::newRow("this edition") << QStringLiteral("MARROWIN") << 0 << recent + help;
    QTest::newRow("attachment edition") << QStringLiteral("TASSELBY") << 0 << recent + help;
    QTest::newRow("all-modules edition") << QStringLiteral("LUMENFOLD") << 0 << recent + bookmarks + help;
    QTest::newRow("multi-module frame") << QStringLiteral("MARROWIN") << 1 << recent + bookmarks + help;
}

void TestAppMenu::entriesPerEdition()
{
    QFETCH(QString, edition);
    QFETCH(int, mode);
    QFETCH(QStringList, entries);
    AppMenu menu(mode, nullptr, edition);
    // No web links while the product has no web page; no update check: the
    // package manager updates the program.
    QCOMPARE(entryTexts(menu.menu()), entries);
    QCOMPARE(menu.menu()->title(), QStringLiteral("Help"));
    QPushButton button;
    menu.attachTo(&button);
    QCOMPARE(button.menu(), menu.menu());
}

void TestAppMenu::bookmarkEntriesAskTheFrame()
{
    AppMenu menu(0, nullptr, QStringLiteral("LUMENFOLD"));
    QMenu* bookmarks = menu.menu()->actions().at(2)->menu();
    QVERIFY(bookmarks);
    QCOMPARE(entryTexts(bookmarks), QStringList({QStringLiteral("Add Bookmarks"), QStringLiteral("Manage Bookmarks")}));
    QSignalSpy fileActions(&menu, &AppMenu::fileActionTriggered);
    for (QAction* action : bookmarks->actions())
        action->trigger();
    QCOMPARE(fileActions.count(), 2);
    QCOMPARE(fileActions.at(0).first().value<AppMenu::FileAction>(), AppMenu::AddBookmark);
    QCOMPARE(fileActions.at(1).first().value<AppMenu::FileAction>(), AppMenu::OpenManagerBookmarks);
}

void TestAppMenu::aboutBox()
{
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/img/icons/pst_icon.ico")));
    AboutDialog about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lab_product"))->text(), QStringLiteral("Marrowin"));
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lab_version"))->text(), QStringLiteral("Version 2.3.0"));
    const QString rights = about.findChild<QLabel*>(QStringLiteral("lab_copyright"))->text();
    QVERIFY(rights.contains(QString::number(QDate::currentDate().year())) && rights.contains(QStringLiteral("Tarnwick")));
    QVERIFY(!about.findChild<QLabel*>(QStringLiteral("iconLabel"))->pixmap().isNull());
    // No web page to offer.
    QVERIFY(about.findChild<QPushButton*>(QStringLiteral("btnMoreInfo"))->isHidden());
}

void TestAppMenu::userGuideIsInstalledAndWhole()
{
    const QString guide = AppMenu::userGuidePath();
    QVERIFY2(QFile::exists(guide), qPrintable(guide));
    const QDir dir = QFileInfo(guide).dir();
    const QStringList pages = dir.entryList({QStringLiteral("*.html")});
    for (const char* task : {"open", "read", "search", "convert", "print"})
        QVERIFY2(pages.contains(QLatin1String(task) + QStringLiteral(".html")), task);
    // Every page's local links lead somewhere.
    static const QRegularExpression link(QStringLiteral("(?:href|src)=\"([^\"#:]+)\""));
    for (const QString& page : pages) {
        QFile file(dir.filePath(page));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        for (auto m = link.globalMatch(html); m.hasNext();) {
            const QString target = m.next().captured(1);
            QVERIFY2(dir.exists(target), qPrintable(page + QStringLiteral(" -> ") + target));
        }
    }
}

QTEST_MAIN(TestAppMenu)
#include "tst_appmenu.moc"
