#pragma once
// The ordered (owner, text) entries behind the main window's status bar: the
// last entry's text is the one shown. Owners are compared by address only,
// never dereferenced.

#include <QList>
#include <QPair>
#include <QString>

class QObject;

class StatusMessageList {
public:
    // Both return true when the text shown changed (the bar needs a refresh).
    bool show(const QObject* owner, const QString& text);
    bool clear(const QObject* owner);

    bool isEmpty() const { return entries.isEmpty(); }
    QString shownText() const { return entries.isEmpty() ? QString() : entries.last().second; }

private:
    void remove(const QObject* owner);

    QList<QPair<const QObject*, QString>> entries;
};
