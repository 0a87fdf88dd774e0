#pragma once
// Lists the bookmark file as a tree (documents, and their bookmarks below
// them) and lets the user delete, rename and open bookmarks.

#include <QDialog>
#include <QStringList>

class QPushButton;
class QStandardItem;
class QStandardItemModel;
class QTreeView;

class BookmarkListDialog : public QDialog {
    Q_OBJECT
public:
    // "Open" is offered only for bookmarks of openDocuments.
    explicit BookmarkListDialog(const QStringList& openDocuments, QWidget* parent = nullptr);

    QTreeView* treeView() const { return tree; }
    QStandardItemModel* treeModel() const { return model; }

signals:
    void jumpToPage(QString fileName, int pageNumber);

private slots:
    void updateBtnStates();
    void loadTreeData();
    void treeViewItemChanged(QStandardItem* item);
    void onDeleteButtonClicked();

private:
    void openCurrentBookmark();
    QStandardItem* currentItem() const;

    QStringList openDocuments;
    QTreeView* tree = nullptr;
    QStandardItemModel* model = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnRename = nullptr;
    QPushButton* btnOpen = nullptr;
};
