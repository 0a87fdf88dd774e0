// The PST module as the host sees it: the library's plug-in metadata and
// object, createWidget, and the widget's home page, drops and pane toggles.
#include "common/DocumentPlugin.h"

#include <Corbelin/SupportFoundation.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPluginLoader>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>

namespace {

class RecordingHost : public IDocumentWidgetHost {
public:
    QString temporaryDirectory() const override { return QStringLiteral("/tmp"); }
    void showStatusMessage(QObject*, const QString&) override {}
    void clearStatusMessage(QObject* owner) override { cleared.append(owner); }
    QList<QObject*> cleared;
};

QMimeData* urlData(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls.append(QUrl::fromLocalFile(p));
    data->setUrls(urls);
    return data;
}

} // namespace

class TestPstPlugin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void libraryCarriesThePluginContract();
    void createWidgetFailsOnMissingPath();
    void freshWidgetShowsHomePage();
    void dropsAcceptOnlyOutlookFiles();
    void paneTogglesRestoreWidths();
    void sortMenuShowsWholeEntries();

private:
    IDocumentWidgetPlugin* plugin = nullptr;
    QPluginLoader loader;
    QTemporaryDir dir;
};

void TestPstPlugin::initTestCase()
{
    QVERIFY(Corbelin::ILogConfig::InitializeLogConfig(dir.path().toStdString()));
    loader.setFileName(qEnvironmentVariable("MARROWIN_BUILD_DIR") + QStringLiteral("/bin/plugins/libSorrel.so"));
    QObject* root = loader.instance();
    QVERIFY2(root, qPrintable(loader.errorString()));
    plugin = qobject_cast<IDocumentWidgetPlugin*>(root);
    QVERIFY(plugin);
}

void TestPstPlugin::libraryCarriesThePluginContract()
{
    const QJsonObject meta = loader.metaData();
    QCOMPARE(meta.value(QStringLiteral("IID")).toString(), QStringLiteral("com.example.reader.IDocumentWidgetPlugin/1.0"));
    QCOMPARE(meta.value(QStringLiteral("className")).toString(), QStringLiteral("PstPlugin"));
    QVERIFY(meta.value(QStringLiteral("MetaData")).toObject().isEmpty());

    QObject* root = loader.instance();
    QCOMPARE(root->metaObject()->className(), "PstPlugin");
    QVERIFY(root->qt_metacast("IDocumentWidgetPlugin"));
    QVERIFY(root->qt_metacast("com.example.reader.IDocumentWidgetPlugin/1.0"));
    QVERIFY(!qobject_cast<IDocumentPlugin*>(root));
    QPluginLoader again(loader.fileName());
    QCOMPARE(again.instance(), root); // one plug-in object per process

    QCOMPARE(plugin->supportedExtensions(), QStringList({QStringLiteral(".pst"), QStringLiteral(".ost")}));
    QVERIFY(!plugin->reservedQuery());
    QVERIFY(!plugin->supportsBookmarks(QStringLiteral("/a.pst")));
}

void TestPstPlugin::createWidgetFailsOnMissingPath()
{
    QString error;
    QWidget parent;
    QVERIFY(!plugin->createWidget(dir.filePath(QStringLiteral("missing.pst")), &parent, nullptr, &error));
    QCOMPARE(error, QStringLiteral("Unable to open the document."));
    QVERIFY(parent.children().isEmpty());
    QVERIFY(!plugin->createWidget(dir.path(), &parent, nullptr, nullptr)); // a directory is no document

    // An existing path goes to the open queue straight away.
    const QString pst = dir.filePath(QStringLiteral("given.pst"));
    QFile f(pst);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    error.clear();
    QWidget* widget = plugin->createWidget(pst, &parent, nullptr, &error);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget(), &parent);
    QCOMPARE(error, QString());
    auto* queue = widget->findChild<QObject*>(QStringLiteral("treeController"));
    QVERIFY(queue);
    QCOMPARE(queue->property("currentPath").toString(), QFileInfo(pst).canonicalFilePath());
}

void TestPstPlugin::freshWidgetShowsHomePage()
{
    RecordingHost host;
    QWidget* widget = plugin->createWidget(QString(), nullptr, &host, nullptr);
    QVERIFY(widget);
    QCOMPARE(widget->objectName(), QStringLiteral("PstViewWidget"));
    QVERIFY(widget->metaObject()->indexOfSignal("fileOpened(QString)") >= 0);
    QVERIFY(widget->metaObject()->indexOfSlot("openFile(QString)") >= 0);

    auto* stack = widget->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("homePage"));
    QCOMPARE(widget->findChild<QLabel*>(QStringLiteral("label"))->text(), QStringLiteral("Add or drag files here"));
    QCOMPARE(widget->findChild<QPushButton*>(QStringLiteral("btnOpenFile"))->text(), QString::fromUtf8("＋ Add File(s)"));
    QCOMPARE(widget->findChild<QPushButton*>(QStringLiteral("btnSortBy"))->text(), QString::fromUtf8("Sort by  ⯆  "));
    QCOMPARE(widget->findChild<QLabel*>(QStringLiteral("noItemLabel"))->text(), QStringLiteral("No Item Selected"));
    auto* openBtn = widget->findChild<QToolButton*>(QStringLiteral("openBtn"));
    QCOMPARE(openBtn->text(), QStringLiteral("Add"));
    QVERIFY(openBtn->isEnabled());
    QVERIFY(!openBtn->icon().isNull());
    for (const char* name : {"convertBtn", "printBtn", "btnTreeHide", "btnItemHide"})
        QVERIFY2(!widget->findChild<QWidget*>(QLatin1String(name))->isEnabled(), name);
    QVERIFY(!widget->findChild<QLineEdit*>(QStringLiteral("searchBox"))->isEnabled());
    QVERIFY(!widget->findChild<QWidget*>(QStringLiteral("exportBtn"))->isVisibleTo(widget));
    QVERIFY(!widget->findChild<QWidget*>(QStringLiteral("testBtn"))->isVisibleTo(widget));

    delete widget;
    QCOMPARE(host.cleared, QList<QObject*>({widget}));
}

void TestPstPlugin::dropsAcceptOnlyOutlookFiles()
{
    std::unique_ptr<QWidget> widget(plugin->createWidget(QString(), nullptr, nullptr, nullptr));
    const QString upper = dir.filePath(QStringLiteral("UPPER.PST"));
    const QString offline = dir.filePath(QStringLiteral("mailbox.ost"));
    const QString text = dir.filePath(QStringLiteral("notes.txt"));

    std::unique_ptr<QMimeData> onlyText(urlData({text}));
    QDragEnterEvent refused(QPoint(1, 1), Qt::CopyAction, onlyText.get(), Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(widget.get(), &refused);
    QVERIFY(!refused.isAccepted());

    std::unique_ptr<QMimeData> mixed(urlData({text, upper, offline}));
    QDragEnterEvent accepted(QPoint(1, 1), Qt::CopyAction, mixed.get(), Qt::LeftButton, Qt::NoModifier);
    accepted.setAccepted(false);
    QApplication::sendEvent(widget.get(), &accepted);
    QVERIFY(accepted.isAccepted());

    QDropEvent drop(QPointF(1, 1), Qt::CopyAction, mixed.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget.get(), &drop);
    // Only the .PST and .ost files went to the open queue (they do not
    // exist: their absolute paths).
    auto* queue = widget->findChild<QObject*>(QStringLiteral("treeController"));
    QVERIFY(queue);
    QCOMPARE(queue->property("currentPath").toString(), upper);
    QCOMPARE(queue->property("pendingPaths").toStringList(), QStringList{offline});
}

void TestPstPlugin::paneTogglesRestoreWidths()
{
    std::unique_ptr<QWidget> widget(plugin->createWidget(QString(), nullptr, nullptr, nullptr));
    widget->resize(1024, 740);
    auto* stack = widget->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    stack->setCurrentIndex(1);
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
    auto* splitter = widget->findChild<QSplitter*>(QStringLiteral("splitter"));
    const QList<int> start = splitter->sizes();
    QCOMPARE(start.size(), 3);
    QVERIFY(start[0] > 0 && start[1] > 0 && start[2] > start[1]);

    for (const char* name : {"btnTreeHide", "btnItemHide"}) {
        auto* toggle = widget->findChild<QToolButton*>(QLatin1String(name));
        const int pane = qstrcmp(name, "btnTreeHide") == 0 ? 0 : 1;
        toggle->setEnabled(true);
        const QList<int> before = splitter->sizes();
        toggle->click();
        QList<int> hidden = splitter->sizes();
        QCOMPARE(hidden[pane], 0);
        QCOMPARE(hidden[2], before[2] + before[pane]);
        toggle->click();
        QCOMPARE(splitter->sizes(), before);
    }
}

void TestPstPlugin::sortMenuShowsWholeEntries()
{
    std::unique_ptr<QWidget> widget(plugin->createWidget(QString(), nullptr, nullptr, nullptr));
    QMenu* menu = nullptr;
    for (QMenu* m : widget->findChildren<QMenu*>()) {
        if (!m->actions().isEmpty() && m->actions().first()->text() == QLatin1String("Default"))
            menu = m;
    }
    QVERIFY(menu);
    menu->actions().at(2)->trigger();  // Date: "Oldest first", "Newest first"
    menu->popup(QPoint(10, 10));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    QVERIFY2(menu->width() >= menu->sizeHint().width(),
             qPrintable(QStringLiteral("%1 < %2").arg(menu->width()).arg(menu->sizeHint().width())));
    menu->hide();
}

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestPstPlugin test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pstplugin.moc"
