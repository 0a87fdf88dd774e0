#include "common/AppConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

AppConfig* AppConfig::instance()
{
    static AppConfig* config = new AppConfig;
    return config;
}

AppConfig::AppConfig()
    : settings(new QSettings(QSettings::NativeFormat, QSettings::UserScope,
                             QCoreApplication::organizationName(), QCoreApplication::applicationName(), this))
{
    settings->setFallbacksEnabled(false);
}

void AppConfig::write(const QString& key, const QVariant& value)
{
    settings->setValue(key, value);
    settings->sync();
}

// Reads go through sync() too, so a value the other instance wrote is seen.
int AppConfig::language() const
{
    settings->sync();
    return settings->value(QStringLiteral("language"), 1).toInt();
}

void AppConfig::setLanguage(int index) { write(QStringLiteral("language"), index); }

QString AppConfig::lastOpenPath() const
{
    settings->sync();
    return settings->value(QStringLiteral("LastOpenPath"), QDir::homePath()).toString();
}

void AppConfig::setLastOpenPath(const QString& path) { write(QStringLiteral("LastOpenPath"), path); }

QString AppConfig::lastSavePath() const
{
    settings->sync();
    return settings->value(QStringLiteral("LastSavePath"), QDir::homePath()).toString();
}

void AppConfig::setLastSavePath(const QString& path) { write(QStringLiteral("LastSavePath"), path); }

int AppConfig::pstSearchField() const
{
    settings->sync();
    return settings->value(QStringLiteral("pstSearchField"), 0).toInt();
}

void AppConfig::setPstSearchField(int field) { write(QStringLiteral("pstSearchField"), field); }
