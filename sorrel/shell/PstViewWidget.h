#pragma once
// The PST module's top widget: toolbar, the home page that invites the user
// to add files, and the main page with folder tree, item list and detail pane.

#include <QWidget>

class IDocumentWidgetHost;
class PstTreeControllerSeam;

namespace Ui {
class PstViewWidget;
}

class PstViewWidget : public QWidget {
    Q_OBJECT
public:
    explicit PstViewWidget(QWidget* parent = nullptr, IDocumentWidgetHost* host = nullptr);
    ~PstViewWidget() override;

    // Paths that count as PST files when dropped or chosen (suffix .pst, any case).
    static bool isPstPath(const QString& path);

signals:
    void sizeChangeRequested(int w, int h);
    void fileAccessRequested(QString filePath);
    void fileOpened(QString filePath);
    void fileClosed(QString filePath);
    void fileOpenFailed(QString filePath);

public slots:
    // Hands path to the open queue.
    void openFile(QString path);
    void refreshSearch();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void openFilesFromDialog();
    void toggleTreePane();
    void toggleListPane();
    // Hides or shows the splitter pane at index, giving its width to the last pane.
    void setPaneHidden(int index, bool hide, int& savedWidth);

    Ui::PstViewWidget* ui = nullptr;
    IDocumentWidgetHost* host = nullptr;
    PstTreeControllerSeam* treeController = nullptr;
    bool treePaneHidden = false;
    bool listPaneHidden = false;
    int treePaneSavedWidth = 0;
    int listPaneSavedWidth = 0;
};
