// Where the program keeps its files: the XDG directories on a fresh home,
// with and without the XDG variables, and directories only the user can enter.
#include "common/ProductProfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

int modeOf(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

void setOrUnset(const char* name, const QString& value)
{
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, QFile::encodeName(value));
}

} // namespace

class TestProductProfile : public QObject {
    Q_OBJECT

private slots:
    void directoriesOnAFreshHome_data();
    void directoriesOnAFreshHome();
    void privateDirectory_data();
    void privateDirectory();
};

// "~" stands for the fresh home, "@" for a directory beside it; a null XDG
// value leaves the variable unset. runtimeMode -1: no XDG_RUNTIME_DIR.
void TestProductProfile::directoriesOnAFreshHome_data()
{
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("cacheHome");
    QTest::addColumn<QString>("stateHome");
    QTest::addColumn<int>("runtimeMode");
    QTest::addColumn<QStringList>("expected"); // config, cache, log, temp

    const QString product = QStringLiteral("/Tarnwick/Marrowin");
    const QStringList defaults{"~/.config" + product, "~/.cache" + product, "~/.local/state" + product + "/log",
                               "~/.cache" + product + "/tmp"};
    QTest::newRow("no XDG variables") << QString() << QString() << QString() << -1 << defaults;
    QTest::newRow("XDG variables") << "@/conf" << "@/cache" << "@/state" << 0700
                                   << QStringList{"@/conf" + product, "@/cache" + product,
                                                  "@/state" + product + "/log", "@/run" + product};
    QTest::newRow("relative values are ignored") << "conf" << "cache" << "state" << -1 << defaults;
    QTest::newRow("runtime directory others can enter") << QString() << QString() << QString() << 0755 << defaults;
}

void TestProductProfile::directoriesOnAFreshHome()
{
    QFETCH(QString, configHome);
    QFETCH(QString, cacheHome);
    QFETCH(QString, stateHome);
    QFETCH(int, runtimeMode);
    QFETCH(QStringList, expected);

    QTemporaryDir root;
    const QString home = root.filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(home));
    auto expand = [&](QString path) {
        if (path.startsWith(QLatin1Char('~')))
            return home + path.mid(1);
        return path.startsWith(QLatin1Char('@')) ? root.path() + path.mid(1) : path;
    };
    qputenv("HOME", QFile::encodeName(home));
    setOrUnset("XDG_CONFIG_HOME", configHome.isNull() ? configHome : expand(configHome));
    setOrUnset("XDG_CACHE_HOME", cacheHome.isNull() ? cacheHome : expand(cacheHome));
    setOrUnset("XDG_STATE_HOME", stateHome.isNull() ? stateHome : expand(stateHome));
    const QString runtime = root.filePath(QStringLiteral("run"));
    if (runtimeMode >= 0) {
        QVERIFY(QDir().mkdir(runtime));
        QVERIFY(::chmod(QFile::encodeName(runtime).constData(), mode_t(runtimeMode)) == 0);
    }
    setOrUnset("XDG_RUNTIME_DIR", runtimeMode >= 0 ? runtime : QString());

    const QStringList actual{ProductProfile::configDirectory(), ProductProfile::cacheDirectory(),
                             ProductProfile::logDirectory(), ProductProfile::tempDirectory()};
    QStringList wanted;
    for (const QString& path : expected)
        wanted << expand(path);
    QCOMPARE(actual, wanted);
    QCOMPARE(ProductProfile::runtimeDirectory(), runtimeMode == 0700 ? runtime : QString());

    QVERIFY(ProductProfile::makeDirectories());
    for (const QString& dir : actual)
        QCOMPARE(modeOf(dir), 0700);
    QVERIFY(!QFileInfo::exists(home + QStringLiteral("/AppData")));
}

void TestProductProfile::privateDirectory_data()
{
    QTest::addColumn<QString>("setup"); // what stands at the path beforehand
    QTest::addColumn<bool>("made");
    QTest::newRow("missing, parents too") << "missing" << true;
    QTest::newRow("open directory is closed") << "dir 0755" << true;
    QTest::newRow("private directory") << "dir 0700" << true;
    QTest::newRow("symbolic link to a directory") << "link" << false;
    QTest::newRow("file in the way") << "file" << false;
}

void TestProductProfile::privateDirectory()
{
    QFETCH(QString, setup);
    QFETCH(bool, made);
    QTemporaryDir root;
    const QString target = root.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkdir(target));
    QString path = root.filePath(QStringLiteral("temp"));
    if (setup == QLatin1String("missing")) {
        path = root.filePath(QStringLiteral("a/b/temp"));
    } else if (setup.startsWith(QLatin1String("dir"))) {
        QVERIFY(QDir().mkdir(path));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), setup.endsWith(QLatin1String("0755")) ? 0755 : 0700) == 0);
    } else if (setup == QLatin1String("link")) {
        QVERIFY(QFile::link(target, path));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const int targetMode = modeOf(target);

    QCOMPARE(ProductProfile::makePrivateDirectory(path), made);
    if (made)
        QCOMPARE(modeOf(path), 0700);
    QCOMPARE(modeOf(target), targetMode); // a link's target is left alone
    QVERIFY(!ProductProfile::makePrivateDirectory(QString()));
}

QTEST_GUILESS_MAIN(TestProductProfile)
#include "tst_productprofile.moc"
