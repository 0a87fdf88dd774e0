// Settings on a fresh account, and a value written by one side seen at once
// by the other side's own store object.
#include "common/AppConfig.h"

#include <QDir>
#include <QSettings>
#include <QTest>

class TestAppConfig : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void freshAccountGivesDefaults();
    void writesAreVisibleToAnotherStoreAtOnce();
};

void TestAppConfig::initTestCase()
{
    // Keep the store inside this test's own HOME whatever the caller's XDG setup.
    qputenv("XDG_CONFIG_HOME", QDir::homePath().toLocal8Bit() + "/.config");
    QCoreApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("Marrowin"));
    QFile::remove(QDir::homePath() + QStringLiteral("/.config/Tarnwick/Marrowin.conf"));
}

void TestAppConfig::freshAccountGivesDefaults()
{
    AppConfig* config = AppConfig::instance();
    QCOMPARE(config->language(), 1);
    QCOMPARE(config->lastOpenPath(), QDir::homePath());
    QCOMPARE(config->lastSavePath(), QDir::homePath());
    QCOMPARE(config->pstSearchField(), 0);
}

void TestAppConfig::writesAreVisibleToAnotherStoreAtOnce()
{
    QSettings other(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                    QStringLiteral("Marrowin"));
    QCOMPARE(other.value(QStringLiteral("LastOpenPath")).toString(), QString());

    AppConfig::instance()->setLastOpenPath(QStringLiteral("/data/mail"));
    AppConfig::instance()->setPstSearchField(3);
    other.sync();
    QCOMPARE(other.value(QStringLiteral("LastOpenPath")).toString(), QStringLiteral("/data/mail"));
    QCOMPARE(other.value(QStringLiteral("pstSearchField")).toInt(), 3);
    QVERIFY(QFile::exists(QDir::homePath() + QStringLiteral("/.config/Tarnwick/Marrowin.conf")));

    // And the other way round: no value is cached in AppConfig.
    other.setValue(QStringLiteral("LastSavePath"), QStringLiteral("/data/out"));
    other.sync();
    QCOMPARE(AppConfig::instance()->lastSavePath(), QStringLiteral("/data/out"));
}

QTEST_GUILESS_MAIN(TestAppConfig)
#include "tst_appconfig.moc"
