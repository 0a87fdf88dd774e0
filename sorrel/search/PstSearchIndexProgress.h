#pragma once
// Progress of the background loader's index builds, shared between the
// loader's thread (which emits) and the GUI thread (which listens, queued).

#include <QObject>

class PstSearchIndexProgress : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void changed(int done, int total);  // folders of the file done so far
    void started();                     // an index is rebuilt
    void loadingStarted();              // the index on disk is usable; only the forest loads
};
