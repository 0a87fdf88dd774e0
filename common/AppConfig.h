#pragma once
// The user's few persistent preferences. The host and the module each have
// their own instance; both read and write the same store, named by the
// application's organisation and application names, and every setter syncs at
// once so the other side sees the value immediately.

#include <QObject>
#include <QString>

class QSettings;

class AppConfig : public QObject {
    Q_OBJECT
public:
    // Created on first use, never deleted. Needs the application's names set.
    static AppConfig* instance();

    int language() const;          // "language", default 1
    void setLanguage(int index);
    QString lastOpenPath() const;  // "LastOpenPath", default the home directory
    void setLastOpenPath(const QString& path);
    // Used by the PST module only.
    QString lastSavePath() const;  // "LastSavePath", default the home directory
    void setLastSavePath(const QString& path);
    int pstSearchField() const;    // "pstSearchField", default 0
    void setPstSearchField(int field);

private:
    AppConfig();
    void write(const QString& key, const QVariant& value);

    QSettings* settings = nullptr;
};
