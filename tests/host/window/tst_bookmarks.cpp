// Bookmarks: the manager's add, rename and remove on the JSON file, where the
// file lives and how it is written, and the dialog: deleting, opening and
// renaming through the tree's editor while the tree rebuilds.
#include "common/ProductProfile.h"
#include "host/window/BookmarkListDialog.h"
#include "host/window/BookmarkManager.h"

#include <Corbelin/SupportFoundation.h>

#include "WindowTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

namespace {

// A compact way to write a bookmark file: "file:page=title,page=title;file:...".
QJsonObject bookmarks(const QString& spec)
{
    QJsonArray files;
    for (const QString& entry : spec.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString fileName = entry.section(QLatin1Char(':'), 0, 0);
        QJsonArray children;
        for (const QString& child : entry.section(QLatin1Char(':'), 1).split(QLatin1Char(','), Qt::SkipEmptyParts))
            children.append(QJsonObject{{QStringLiteral("title"), child.section(QLatin1Char('='), 1)},
                                        {QStringLiteral("page"), child.section(QLatin1Char('='), 0, 0).toInt()}});
        files.append(QJsonObject{{QStringLiteral("fileName"), fileName}, {QStringLiteral("children"), children}});
    }
    return QJsonObject{{QStringLiteral("bookmarks"), files}};
}

QPushButton* button(const QDialog& dialog, const QString& text)
{
    for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

} // namespace

class TestBookmarks : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void managerOperations_data();
    void managerOperations();
    void fileLivesInTheConfigDirectoryAndIsReplacedWhole();
    void dialogDeletesAndOpens();
    void renamingInTheTreeSurvivesTheRebuild();

private:
    BookmarkManager* manager = BookmarkManager::instance();
    QTemporaryDir logs;
};

void TestBookmarks::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("Marrowin"));
    QVERIFY(Corbelin::ILogConfig::InitializeLogConfig(logs.path().toStdString()));
}

void TestBookmarks::init()
{
    QFile::remove(manager->filePath());
    QDir(manager->filePath()).removeRecursively();
}

void TestBookmarks::managerOperations_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("operation"); // "add|rename|remove file page [title]"
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("announced");
    QTest::newRow("add to a new file") << "" << "add a.pdf 3 Intro" << "a.pdf:3=Intro" << 1;
    QTest::newRow("add to a file") << "a.pdf:3=Intro" << "add a.pdf 9 End" << "a.pdf:3=Intro,9=End" << 1;
    QTest::newRow("add keeps other files") << "a.pdf:3=Intro" << "add b.pdf 1 One" << "a.pdf:3=Intro;b.pdf:1=One" << 1;
    QTest::newRow("rename") << "a.pdf:3=Intro,9=End" << "rename a.pdf 9 Last" << "a.pdf:3=Intro,9=Last" << 1;
    QTest::newRow("rename the first of a page") << "a.pdf:3=x,3=y" << "rename a.pdf 3 z" << "a.pdf:3=z,3=y" << 1;
    QTest::newRow("rename an unknown page") << "a.pdf:3=Intro" << "rename a.pdf 4 x" << "a.pdf:3=Intro" << 0;
    QTest::newRow("rename without a file") << "" << "rename a.pdf 4 x" << "" << 0;
    QTest::newRow("remove one") << "a.pdf:3=Intro,9=End" << "remove a.pdf 3" << "a.pdf:9=End" << 1;
    QTest::newRow("remove the first of a page") << "a.pdf:3=x,3=y" << "remove a.pdf 3" << "a.pdf:3=y" << 1;
    QTest::newRow("remove the last drops the file")
        << "a.pdf:3=Intro;b.pdf:1=One" << "remove a.pdf 3" << "b.pdf:1=One" << 1;
    QTest::newRow("remove a whole file") << "a.pdf:3=Intro,9=End;b.pdf:1=One" << "remove a.pdf -1" << "b.pdf:1=One" << 1;
    QTest::newRow("remove an unknown page") << "a.pdf:3=Intro" << "remove a.pdf 4" << "a.pdf:3=Intro" << 0;
    QTest::newRow("names compare exactly") << "a.pdf:3=Intro" << "remove A.pdf -1" << "a.pdf:3=Intro" << 0;
}

void TestBookmarks::managerOperations()
{
    QFETCH(QString, before);
    QFETCH(QString, operation);
    QFETCH(QString, after);
    QFETCH(int, announced);
    if (!before.isEmpty())
        QVERIFY(manager->save(bookmarks(before)));
    QSignalSpy changed(manager, &BookmarkManager::bookmarksChanged);
    const QStringList op = operation.split(QLatin1Char(' '));
    if (op[0] == QLatin1String("add"))
        manager->addBookmark(op[1], op[2].toInt(), op[3]);
    else if (op[0] == QLatin1String("rename"))
        manager->renameBookmark(op[1], op[2].toInt(), op[3]);
    else
        manager->removeBookmark(op[1], op[2].toInt());
    QCOMPARE(changed.count(), announced);
    QCOMPARE(manager->load(), after.isEmpty() && before.isEmpty() ? QJsonObject() : bookmarks(after));
}

void TestBookmarks::fileLivesInTheConfigDirectoryAndIsReplacedWhole()
{
    QCOMPARE(manager->filePath(), ProductProfile::configDirectory() + QStringLiteral("/_bookmarks.json"));
    manager->addBookmark(QStringLiteral("a.pdf"), 1, QStringLiteral("One"));
    QFile file(manager->filePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(file.readAll()).object(), bookmarks(QStringLiteral("a.pdf:1=One")));
    QCOMPARE(QDir(ProductProfile::configDirectory()).entryList({QStringLiteral("*bookmarks*")}, QDir::Files),
             QStringList(QStringLiteral("_bookmarks.json")));

    // A save that cannot happen is logged; the change is still announced.
    QFile::remove(manager->filePath());
    QVERIFY(QDir().mkpath(manager->filePath()));
    QSignalSpy changed(manager, &BookmarkManager::bookmarksChanged);
    manager->addBookmark(QStringLiteral("a.pdf"), 2, QStringLiteral("Two"));
    QCOMPARE(changed.count(), 1);
    QVERIFY(readLog().contains(QStringLiteral("Could not save ") + manager->filePath()));
    QCOMPARE(manager->load(), QJsonObject());
}

void TestBookmarks::dialogDeletesAndOpens()
{
    QVERIFY(manager->save(bookmarks(QStringLiteral("open.pdf:3=Intro,9=End;closed.pdf:1=One,2=Two"))));
    BookmarkListDialog dialog({QStringLiteral("open.pdf")});
    QTreeView* tree = dialog.treeView();
    QStandardItemModel* model = dialog.treeModel();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->item(0)->child(1)->text(), QStringLiteral("End"));
    QVERIFY(!button(dialog, QStringLiteral("Delete"))->isEnabled());

    // Open only for documents that are open.
    QSignalSpy jumps(&dialog, &BookmarkListDialog::jumpToPage);
    tree->setCurrentIndex(model->item(1)->child(0)->index());
    QVERIFY(button(dialog, QStringLiteral("Rename"))->isEnabled());
    QVERIFY(!button(dialog, QStringLiteral("Open"))->isEnabled());
    tree->setCurrentIndex(model->item(0)->child(1)->index());
    QVERIFY(button(dialog, QStringLiteral("Open"))->isEnabled());
    QTest::mouseClick(button(dialog, QStringLiteral("Open")), Qt::LeftButton);
    QCOMPARE(jumps.count(), 1);
    QCOMPARE(jumps.first(), QVariantList({QStringLiteral("open.pdf"), 9}));

    QTest::mouseClick(button(dialog, QStringLiteral("Delete")), Qt::LeftButton);
    QCOMPARE(manager->load(), bookmarks(QStringLiteral("open.pdf:3=Intro;closed.pdf:1=One,2=Two")));
    QTRY_COMPARE(model->item(0)->rowCount(), 1);

    // A document's row deletes all its bookmarks.
    tree->setCurrentIndex(model->item(1)->index());
    QVERIFY(!button(dialog, QStringLiteral("Rename"))->isEnabled());
    QTest::mouseClick(button(dialog, QStringLiteral("Delete")), Qt::LeftButton);
    QTRY_COMPARE(model->rowCount(), 1);
    QCOMPARE(manager->load(), bookmarks(QStringLiteral("open.pdf:3=Intro")));
}

void TestBookmarks::renamingInTheTreeSurvivesTheRebuild()
{
    QVERIFY(manager->save(bookmarks(QStringLiteral("a.pdf:3=Intro,9=End"))));
    BookmarkListDialog dialog({});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QStandardItemModel* model = dialog.treeModel();
    QTreeView* tree = dialog.treeView();
    // The model must not be torn down while the edit is being committed: the
    // edited item and the view's editor are still in use then.
    bool rebuiltWhileEditing = false;
    QPointer<QLineEdit> editor;
    auto check = [&] { rebuiltWhileEditing |= editor && editor->isVisible(); };
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, check);
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, check);
    QSignalSpy rebuilt(model, &QAbstractItemModel::modelReset);

    tree->setCurrentIndex(model->item(0)->child(1)->index());
    QTest::mouseClick(button(dialog, QStringLiteral("Rename")), Qt::LeftButton);
    editor = tree->findChild<QLineEdit*>();
    QVERIFY(editor && editor->isVisible());
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Closing words"));
    QTest::keyClick(editor, Qt::Key_Return);

    QTRY_COMPARE(manager->load(), bookmarks(QStringLiteral("a.pdf:3=Intro,9=Closing words")));
    // Rebuilt afterwards from the file, on the renamed bookmark.
    QTRY_COMPARE(rebuilt.count(), 1);
    QVERIFY(!rebuiltWhileEditing);
    QCOMPARE(model->item(0)->child(1)->text(), QStringLiteral("Closing words"));
    QCOMPARE(tree->currentIndex(), model->item(0)->child(1)->index());
}

QTEST_MAIN(TestBookmarks)
#include "tst_bookmarks.moc"
