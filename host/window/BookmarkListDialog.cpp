#include "host/window/BookmarkListDialog.h"

#include "host/window/BookmarkManager.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

const char kButtonStyle[] =
    "QPushButton { background-color: white; color: black; border: 1px solid #dcdcdc; border-radius: 4px; "
    "font-size: 12px; }QPushButton:pressed { background-color: #f0f0f0; }QPushButton:disabled { color: #aaaaaa; "
    "border-color: #eeeeee; }";

bool isBookmark(const QStandardItem* item) { return item && item->parent(); }

} // namespace

BookmarkListDialog::BookmarkListDialog(const QStringList& openDocuments, QWidget* parent)
    : QDialog(parent), openDocuments(openDocuments)
{
    setWindowTitle(tr("Bookmarks"));
    setFixedSize(500, 528);
    setStyleSheet(QStringLiteral("* { font-size: 12px; }"));
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);

    tree = new QTreeView(this);
    tree->setAlternatingRowColors(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setIndentation(20);
    tree->setStyleSheet(QStringLiteral(
        "QTreeView { border: none; color: black;alternate-background-color: #F7F7F7; background-color: white; }"
        "QTreeView::item { height: 20px; }QTreeView QLineEdit {  background-color: white;  color: black;  border: 1px "
        "solid rgb(59, 130, 247);  border-radius: 2px;  padding: 0px;  margin: 2px;  font-size: 12px;}"));
    model = new QStandardItemModel(this);
    tree->setModel(model);
    layout->addWidget(tree);

    auto* buttons = new QWidget(this);
    buttons->setFixedHeight(72);
    auto* row = new QHBoxLayout(buttons);
    row->setSpacing(10);
    row->addStretch();
    auto makeButton = [&](const QString& text) {
        auto* button = new QPushButton(text, buttons);
        button->setFixedSize(68, 22);
        button->setStyleSheet(QLatin1String(kButtonStyle));
        button->setEnabled(false);
        button->setAutoDefault(false);
        row->addWidget(button);
        return button;
    };
    btnDelete = makeButton(tr("Delete"));
    btnRename = makeButton(tr("Rename"));
    btnOpen = makeButton(tr("Open"));
    layout->addWidget(buttons);

    loadTreeData();

    connect(tree->selectionModel(), &QItemSelectionModel::selectionChanged, this, &BookmarkListDialog::updateBtnStates);
    connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this, &BookmarkListDialog::updateBtnStates);
    connect(btnRename, &QPushButton::clicked, this, [this] {
        if (isBookmark(currentItem()))
            tree->edit(tree->currentIndex());
    });
    connect(btnOpen, &QPushButton::clicked, this, &BookmarkListDialog::openCurrentBookmark);
    connect(tree, &QTreeView::doubleClicked, this, &BookmarkListDialog::openCurrentBookmark);
    connect(model, &QStandardItemModel::itemChanged, this, &BookmarkListDialog::treeViewItemChanged);
    connect(btnDelete, &QPushButton::clicked, this, &BookmarkListDialog::onDeleteButtonClicked);
    // Queued: a rename announces its change from inside the model's itemChanged,
    // while the edited item and its editor are still in use; the tree is
    // rebuilt only once that has returned.
    connect(BookmarkManager::instance(), &BookmarkManager::bookmarksChanged, this, &BookmarkListDialog::loadTreeData,
            Qt::QueuedConnection);
}

QStandardItem* BookmarkListDialog::currentItem() const { return model->itemFromIndex(tree->currentIndex()); }

void BookmarkListDialog::loadTreeData()
{
    // Where the user was, so that the rebuilt tree keeps the place.
    QString currentFile;
    int currentPage = -1;
    int currentRow = -1;
    if (QStandardItem* current = currentItem()) {
        currentFile = isBookmark(current) ? current->parent()->text() : current->text();
        if (isBookmark(current)) {
            currentPage = current->data(Qt::UserRole).toInt();
            currentRow = current->row();
        }
    }

    model->clear();
    model->setHorizontalHeaderLabels({tr("Bookmarks")});
    const QJsonArray files = BookmarkManager::instance()->load().value(QStringLiteral("bookmarks")).toArray();
    for (const QJsonValue& fileValue : files) {
        const QJsonObject entry = fileValue.toObject();
        auto* fileItem = new QStandardItem(entry.value(QStringLiteral("fileName")).toString());
        fileItem->setEditable(false);
        const QJsonArray children = entry.value(QStringLiteral("children")).toArray();
        for (const QJsonValue& childValue : children) {
            const QJsonObject bookmark = childValue.toObject();
            auto* item = new QStandardItem(bookmark.value(QStringLiteral("title")).toString());
            item->setData(bookmark.value(QStringLiteral("page")).toInt(), Qt::UserRole);
            fileItem->appendRow(item);
        }
        model->appendRow(fileItem);
    }
    tree->expandAll();

    const QList<QStandardItem*> sameFile = currentFile.isEmpty() ? QList<QStandardItem*>()
                                                                  : model->findItems(currentFile);
    if (!sameFile.isEmpty()) {
        QStandardItem* restore = sameFile.first();
        if (currentPage >= 0) {
            QStandardItem* atRow = restore->child(currentRow);
            if (atRow && atRow->data(Qt::UserRole).toInt() == currentPage) {
                restore = atRow;
            } else {
                for (int r = 0; r < restore->rowCount(); ++r) {
                    if (restore->child(r)->data(Qt::UserRole).toInt() == currentPage) {
                        restore = restore->child(r);
                        break;
                    }
                }
            }
        }
        tree->setCurrentIndex(restore->index());
    }
    updateBtnStates();
}

void BookmarkListDialog::updateBtnStates()
{
    QStandardItem* item = tree->selectionModel()->hasSelection() ? currentItem() : nullptr;
    btnDelete->setEnabled(item != nullptr);
    btnRename->setEnabled(isBookmark(item));
    btnOpen->setEnabled(isBookmark(item) && openDocuments.contains(item->parent()->text()));
}

void BookmarkListDialog::openCurrentBookmark()
{
    QStandardItem* item = currentItem();
    if (!isBookmark(item) || !openDocuments.contains(item->parent()->text()))
        return;
    emit jumpToPage(item->parent()->text(), item->data(Qt::UserRole).toInt());
}

void BookmarkListDialog::onDeleteButtonClicked()
{
    QStandardItem* item = currentItem();
    if (!item)
        return;
    if (isBookmark(item))
        BookmarkManager::instance()->removeBookmark(item->parent()->text(), item->data(Qt::UserRole).toInt());
    else
        BookmarkManager::instance()->removeBookmark(item->text(), -1);
}

void BookmarkListDialog::treeViewItemChanged(QStandardItem* item)
{
    if (!isBookmark(item))
        return;
    const QString fileName = item->parent()->text();
    const int page = item->data(Qt::UserRole).toInt();
    const QString title = item->text();
    qDebug().noquote() << QStringLiteral("Rename bookmark of %1, page %2 -> %3").arg(fileName).arg(page).arg(title);
    BookmarkManager::instance()->renameBookmark(fileName, page, title);
}
