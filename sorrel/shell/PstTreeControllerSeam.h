#pragma once
// Where PstViewWidget hands the paths it is asked to open. It stands in for
// the tree controller's open queue until that exists: it only keeps the
// paths in order. Replace this class by PstTreeController.

#include <QObject>
#include <QStringList>

class PstTreeControllerSeam : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void openFile(const QString& path);
    QStringList pendingPaths() const { return pending; }

signals:
    void openRequested(const QString& path);

private:
    QStringList pending;
};
