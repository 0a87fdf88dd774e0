// Discovery and loading of document plug-ins with small test libraries.
#include "common/DocumentPlugin.h"
#include "host/plugin/DocumentPluginManager.h"

#include <Corbelin/SupportFoundation.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

class TestPluginManager : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void normalizesSuffixes_data();
    void normalizesSuffixes();
    void searchDirectoriesInOrder();
    void loadsFromWorkingDirectoryLaterCopyWins();
    void loadsEachFileOnceAndSkipsOthers();
    void pageOnlySuffixOpensNoWidget();
    void noPluginsGivesEmptyFilter();
    void moduleLinesLandInTheHostLog();

private:
    QString pluginFile(const char* name) const { return pluginDir + QLatin1Char('/') + QLatin1String(name) + ".so"; }
    QString pluginDir;
    QTemporaryDir work;
};

void TestPluginManager::initTestCase()
{
    pluginDir = qEnvironmentVariable("MARROWIN_TEST_PLUGIN_DIR");
    QVERIFY2(QFile::exists(pluginFile("TestWidgetPlugin")), qPrintable(pluginDir));
    QVERIFY(work.isValid());
}

void TestPluginManager::normalizesSuffixes_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("upper, no dot") << "PST" << ".pst";
    QTest::newRow("blanks") << " pst " << ".pst";
    QTest::newRow("dotted") << ".pst" << ".pst";
    QTest::newRow("dotted upper with blanks") << " .Pst" << ".pst";
    QTest::newRow("empty") << "  " << "";
}

void TestPluginManager::normalizesSuffixes()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);
    QCOMPARE(DocumentPluginManager::normalizeSuffix(given), expected);
}

void TestPluginManager::searchDirectoriesInOrder()
{
    const QString program = QCoreApplication::applicationDirPath();
    const QString parent = QDir::cleanPath(program + QStringLiteral("/.."));
    const QStringList dirs = DocumentPluginManager::searchDirectories();
    QCOMPARE(dirs.size(), 10);
    QCOMPARE(dirs.mid(0, 4), QStringList({program + "/PlugIns/document", parent + "/PlugIns/document",
                                          program + "/plugins", program + "/document_plugins"}));
    QCOMPARE(dirs.at(7), QDir::currentPath() + QStringLiteral("/sorrel"));
    // Last, an installed program's private library directory.
    QVERIFY2(dirs.at(9).startsWith(parent + "/lib") && dirs.at(9).endsWith("/marrowin/plugins"), qPrintable(dirs.at(9)));
}

void TestPluginManager::loadsFromWorkingDirectoryLaterCopyWins()
{
    // The same library copied into two search directories loads twice; the
    // later directory's copy owns the suffix.
    const QStringList dirs = DocumentPluginManager::searchDirectories();
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));
    const QStringList workDirs = DocumentPluginManager::searchDirectories();
    const QString early = workDirs.at(6), late = workDirs.at(7);
    QVERIFY(QDir().mkpath(early) && QDir().mkpath(late));
    QVERIFY(QFile::copy(pluginFile("TestWidgetPlugin"), early + "/widget.so"));
    QVERIFY(QFile::copy(pluginFile("TestWidgetPlugin"), late + "/Widget.SO"));

    DocumentPluginManager manager;
    manager.loadPlugins();
    QDir::setCurrent(previous);

    QCOMPARE(manager.allSupportedExtensions(), QStringList({".pst", ".tst"}));
    QString error;
    std::unique_ptr<QWidget> widget(manager.createWidgetForExtension(QStringLiteral("PST"), nullptr, nullptr, &error));
    auto* label = qobject_cast<QLabel*>(widget.get());
    QVERIFY(label);
    QCOMPARE(label->text(), late + "/Widget.SO");
    QCOMPARE(label->objectName(), QString()); // made with an empty path
}

void TestPluginManager::loadsEachFileOnceAndSkipsOthers()
{
    QTemporaryDir dir;
    QVERIFY(QFile::copy(pluginFile("TestWidgetPlugin"), dir.filePath("a.so")));
    QVERIFY(QFile::copy(pluginFile("TestWidgetPlugin"), dir.filePath("b.so.bak")));
    QFile text(dir.filePath("broken.so"));
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a library") > 0);
    text.close();

    DocumentPluginManager manager;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Failed to load document plugin \"" +
                                                          QRegularExpression::escape(dir.filePath("broken.so")) + "\": .+"));
    manager.loadPlugin(dir.filePath("broken.so"));
    QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("Ignored document plugin \"%1\": unsupported plugin interface")
                                                      .arg(pluginFile("TestForeignPlugin"))));
    manager.loadPlugin(pluginFile("TestForeignPlugin"));
    QVERIFY(!manager.canOpenExtension(QStringLiteral(".pst")));

    manager.loadPlugin(dir.filePath("a.so"));
    manager.loadPlugin(dir.filePath("a.so"));
    QVERIFY(DocumentPluginManager::isPluginFileName(QStringLiteral("X.SO")));
    QVERIFY(!DocumentPluginManager::isPluginFileName(QStringLiteral("b.so.bak")));

    QVERIFY(manager.canOpenFile(QStringLiteral("/m/Mail.PST")));
    QVERIFY(manager.hasWidgetPluginForFile(QStringLiteral("x.tst")));
    QVERIFY(!manager.canOpenFile(QStringLiteral("/m/pst")));
    QCOMPARE(manager.openFileFilter(), QStringLiteral("Supported Documents (*.pst *.tst);;All Files (*)"));

    QString error;
    QVERIFY(!manager.createWidgetForFile(QStringLiteral("/x/refuse.tst"), nullptr, nullptr, &error));
    QCOMPARE(error, QStringLiteral("refused"));
    error.clear();
    QVERIFY(!manager.createWidgetForFile(QStringLiteral("/x/a.pdf"), nullptr, nullptr, &error));
    QVERIFY(!manager.createWidgetForExtension(QStringLiteral("pdf"), nullptr, nullptr, &error));
    QCOMPARE(error, QString());
    std::unique_ptr<QWidget> widget(manager.createWidgetForFile(QStringLiteral("/x/m.tst"), nullptr, nullptr, &error));
    QVERIFY(widget);
    QCOMPARE(widget->objectName(), QStringLiteral("/x/m.tst"));
}

void TestPluginManager::pageOnlySuffixOpensNoWidget()
{
    DocumentPluginManager manager;
    manager.loadPlugin(pluginFile("TestPagePlugin"));
    QVERIFY(manager.canOpenExtension(QStringLiteral("PAGE")));
    QVERIFY(manager.canOpenFile(QStringLiteral("doc.page")));
    QVERIFY(!manager.hasWidgetPluginForFile(QStringLiteral("doc.page")));
    QString error;
    QVERIFY(!manager.createWidgetForFile(QStringLiteral("doc.page"), nullptr, nullptr, &error));
}

void TestPluginManager::noPluginsGivesEmptyFilter()
{
    DocumentPluginManager manager;
    QCOMPARE(manager.openFileFilter(), QStringLiteral("Supported Documents ();;All Files (*)"));
    QVERIFY(!manager.canOpenFile(QStringLiteral("a.pst")));
}

void TestPluginManager::moduleLinesLandInTheHostLog()
{
    QTemporaryDir logs;
    QVERIFY(Corbelin::ILogConfig::InitializeLogConfig(logs.path().toStdString()));
    Corbelin::ILogConfig::Info("host line");
    DocumentPluginManager manager;
    manager.loadPlugin(pluginFile("TestWidgetPlugin"));
    std::unique_ptr<QWidget> widget(manager.createWidgetForFile(QStringLiteral("/x/log.tst"), nullptr, nullptr, nullptr));
    QVERIFY(widget);
    Corbelin::ILogConfig::FlushBuffer();
    QFile log(QString::fromStdString(Corbelin::ILogConfig::CurrentLogFile()));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    QVERIFY(text.indexOf(QLatin1String("host line")) >= 0);
    QVERIFY(text.indexOf(QLatin1String("test plugin made a widget for [/x/log.tst]")) > text.indexOf(QLatin1String("host line")));
}

QTEST_MAIN(TestPluginManager)
#include "tst_pluginmanager.moc"
