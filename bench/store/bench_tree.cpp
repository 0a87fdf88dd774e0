// Time from pressing a folder in the tree to its items shown in the list:
// the first press parses the folder, a later press lists what is loaded.
//
//   bench_tree [file.pst]
// Without a file, a mailbox with one folder of 50,000 mails is generated
// with pstgen from the same build tree.

#include "sorrel/store/PSTTreeView.h"
#include "sorrel/store/PstTreeController.h"
#include "sorrel/store/PstTreeModel.h"
#include "sorrel/store/PstTreeViewFilterModel.h"
#include "sorrel/views/PSTListView.h"
#include "sorrel/views/PstListController.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// The descriptor path (from the top-of-folders node down) of the node with
// the most children, found without parsing anything.
void biggestNode(pst_desc_tree* node, QList<uint64_t>& path, QList<uint64_t>& best, int& most)
{
    for (; node; node = node->next) {
        path.append(node->d_id);
        if (node->no_child > most) {
            most = node->no_child;
            best = path;
        }
        if (node->no_child > 0)
            biggestNode(node->child, path, best, most);
        path.removeLast();
    }
}

double pressAndShow(PstTreeController& tree, PSTListView& list, const QModelIndex& index)
{
    QElapsedTimer timer;
    timer.start();
    tree.onPressed(index);
    QCoreApplication::processEvents();
    list.viewport()->repaint();
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (path.isEmpty()) {
        path = scratch.filePath(QStringLiteral("mails50k.pst"));
        const QString pstgen = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/pstgen");
        std::printf("generating %s ...\n", qPrintable(path));
        std::fflush(stdout);
        if (QProcess::execute(pstgen, {QStringLiteral("--out"), path, QStringLiteral("--mails"), QStringLiteral("50000"),
                                       QStringLiteral("--body-size"), QStringLiteral("512"),
                                       QStringLiteral("--attach-every"), QStringLiteral("0")}) != 0) {
            std::fprintf(stderr, "cannot run %s\n", qPrintable(pstgen));
            return 1;
        }
    }

    PSTTreeView treeView;
    PSTListView listView;
    treeView.resize(300, 700);
    listView.resize(400, 700);
    treeView.show();
    listView.show();
    PstTreeController tree(&treeView);
    PstListController list(&listView, nullptr);
    QObject::connect(&tree, &PstTreeController::folderSelected, &list, &PstListController::setItems);

    QEventLoop wait;
    QObject::connect(&tree, &PstTreeController::openQueueFinished, &wait, &QEventLoop::quit);
    QElapsedTimer openTimer;
    openTimer.start();
    tree.openFile(path);
    wait.exec();
    if (tree.fileCount() != 1) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 1;
    }
    std::printf("open queue (open + skeleton): %.1f ms\n", openTimer.nsecsElapsed() / 1e6);

    const PstFolderItemPtr file = tree.model()->fileNodes().value(0);
    QList<uint64_t> descPath, biggest;
    int most = 0;
    {
        // The top node only: its siblings are not folders of this file.
        pst_desc_tree* top = file->node();
        descPath.append(top->d_id);
        biggestNode(top->child, descPath, biggest, most);
    }
    // Walking by key loads the folders above it, not the folder itself.
    const QModelIndex folder = tree.proxy()->mapFromSource(
        tree.indexForKey(PstTreeModel::pathKey(file->filePath(), biggest)));
    const QModelIndex fileNode = tree.proxy()->index(0, 0);
    if (!folder.isValid()) {
        std::fprintf(stderr, "no folder with items\n");
        return 1;
    }

    const double first = pressAndShow(tree, listView, folder);
    const int shown = listView.model()->rowCount();
    std::printf("folder \"%s\": %d items listed\n", qPrintable(folder.data().toString()), shown);
    std::printf("first press (parse + list): %.1f ms\n", first);
    double best = 1e9, total = 0;
    const int rounds = 5;
    for (int i = 0; i < rounds; ++i) {
        pressAndShow(tree, listView, fileNode);  // another folder between two presses
        const double again = pressAndShow(tree, listView, folder);
        best = qMin(best, again);
        total += again;
    }
    std::printf("press again, loaded (list only): best %.1f ms, mean %.1f ms over %d\n", best, total / rounds, rounds);
    return 0;
}
