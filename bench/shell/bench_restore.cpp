// Start to a restored workspace. Its files (config, caches) live below DIR,
// never in the user's:
//   bench_restore --prepare DIR FILE...   opens the files once (index caches
//                                          written), selects the first file's
//                                          deepest first folder, saves the workspace
//   bench_restore DIR                      times process start to the restored
//                                          workspace (files open, folders
//                                          expanded and selected)

#include "sorrel/shell/PstSession.h"
#include "sorrel/shell/PstViewWidget.h"
#include "sorrel/store/PstTreeController.h"
#include "sorrel/store/PstTreeModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    const bool prepare = argc > 1 && qstrcmp(argv[1], "--prepare") == 0;
    const int first = prepare ? 2 : 1;
    if (argc <= first) {
        std::fprintf(stderr, "usage: bench_restore [--prepare] DIR [FILE...]\n");
        return 2;
    }
    const QByteArray dir = argv[first];
    qputenv("XDG_CONFIG_HOME", dir + "/config");
    qputenv("XDG_CACHE_HOME", dir + "/cache");
    qputenv("XDG_STATE_HOME", dir + "/state");
    QApplication app(argc, argv);

    if (prepare) {
        QFile::remove(pstsession::sessionPathFor());
        PstViewWidget widget;
        widget.show();
        QSignalSpy drained(widget.tree(), &PstTreeController::openQueueFinished);
        for (int i = first + 1; i < argc; ++i)
            widget.openFile(QString::fromLocal8Bit(argv[i]));
        if (!drained.wait(600000))
            return 1;
        // The first file's first folder and its first subfolder, expanded and selected.
        PstTreeController* tree = widget.tree();
        PstFolderItemPtr node = tree->model()->fileNodes().value(0);
        QList<uint64_t> ids;
        for (int depth = 0; node && depth < 2 && !node->subfolders().isEmpty(); ++depth) {
            node->loadChildren();
            node = node->subfolders().first();
            node->loadChildren();
            ids << node->id();
        }
        tree->applyKeys({PstTreeModel::pathKey(node->fileNode()->filePath(), ids.mid(0, 1))},
                        PstTreeModel::pathKey(node->fileNode()->filePath(), ids), true);
        std::printf("prepared: %d files, workspace %s\n", tree->fileCount(), qPrintable(pstsession::sessionPathFor()));
        return 0;  // the widget saves on destruction
    }

    const qint64 appReady = sinceStart.elapsed();
    PstViewWidget widget;
    widget.show();
    const PstSession expected = pstsession::readSession(pstsession::sessionPathFor());
    QSignalSpy drained(widget.tree(), &PstTreeController::openQueueFinished);
    if (!drained.wait(600000))
        return 1;
    // The widget applies the restored state in its own handler of the same signal.
    const qint64 restored = sinceStart.elapsed();
    const bool complete = widget.tree()->fileCount() == expected.openFiles.size()
        && widget.tree()->currentKey() == expected.currentTreePath;
    std::printf("[profile] workspace of %d files restored: %lld ms after start (application ready at %lld ms)%s\n",
                int(expected.openFiles.size()), restored, appReady, complete ? "" : " INCOMPLETE");
    return complete ? 0 : 1;
}
