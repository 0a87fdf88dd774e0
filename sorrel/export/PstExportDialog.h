#pragma once
// The dialog that converts the folder tree of one PST file into files: it
// shows the tree, lets the user choose the kinds (mails, contacts,
// calendar, notes, journal, or mailboxes) and whether empty folders are
// left out, asks for the output folder, shows one progress bar per kind,
// and ends on a page that says per kind how many items were written and how
// many failed, offering to open the output folder. It drives one
// ExportManager. Deleted when closed.

#include "sorrel/export/ProgressReporter.h"
#include "sorrel/store/PstFolderItem.h"

#include <QDialog>
#include <QMap>

#include <functional>
#include <memory>

class AlternateTreeView;
class ExportManager;
class PstTreeController;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;
class QWidget;

class PstExportDialog : public QDialog {
    Q_OBJECT
public:
    // mode 1: conversion to files; mode 0: export to other applications
    // (its page only: that export does not exist on this platform).
    explicit PstExportDialog(int mode, QWidget* parent = nullptr);
    ~PstExportDialog() override;

    // Takes a copy of fileNode (a file node, from the prebuilt forest when
    // there is one) as the tree to convert and shows it. Null: nothing.
    void prepare(const PstFolderItemPtr& fileNode);

    // Asks for the output folder, starting at proposedPath; empty when the
    // user cancels. The default is the save-file dialog (the name the user
    // confirms becomes a folder).
    using FolderChooser = std::function<QString(QWidget* parent, const QString& proposedPath)>;
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }
    // Opens the output folder on the finished page ("Show in Explorer");
    // the default is Platform::openFolder.
    using FolderOpener = std::function<bool(const QString& folder)>;
    void setFolderOpener(FolderOpener opener) { m_openFolder = std::move(opener); }

    // "<root name> <yyyy-MM-dd_hh-mm-ss>", the root name cleaned as a file
    // name and shortened to fit one.
    static QString suggestedFolderName(const QString& rootName, const QDateTime& time);
    // Where the folder dialog starts: the parent of the last chosen folder
    // in this run, else the user's Documents folder, else the home directory.
    static QString lastLocation();

    int mode() const { return m_mode; }
    PstFolderItemPtr root() const { return m_root; }
    QString outputFolder() const { return m_outputFolder; }
    ExportManager* manager() const { return m_manager; }
    PstTreeController* treeController() const { return m_treeController.get(); }
    // The chosen format keys, in table order.
    QStringList chosenFormats() const;

private:
    void buildForm();
    void onOkClicked();
    void onCancelClicked();
    void startConversion();
    void onProgressReady(const QString& label, std::shared_ptr<ProgressReporter> reporter, int total);
    void onItemNotFound();
    void onCompleted(bool toApp);
    void updateOkEnabled();
    void showResults();

    int m_mode;
    PstFolderItemPtr m_root;
    QString m_outputFolder;
    ExportManager* m_manager = nullptr;
    std::unique_ptr<PstTreeController> m_treeController;
    QMap<QString, QProgressBar*> m_bars;    // by progress label
    QMap<QString, QLabel*> m_resultLabels;  // by progress label
    bool m_started = false;
    bool m_cancelled = false;
    bool m_finished = false;
    FolderChooser m_chooseFolder;
    FolderOpener m_openFolder;

    QVBoxLayout* verticalLayout = nullptr;
    QStackedWidget* stackedWidget = nullptr;
    QWidget* exportPage = nullptr;
    QWidget* progressPage = nullptr;
    AlternateTreeView* treeView = nullptr;
    QCheckBox* ignoreFolderCheckBox = nullptr;
    QWidget* convertBox = nullptr;
    QWidget* exportBox = nullptr;
    QCheckBox* emlCheckBox = nullptr;
    QCheckBox* vcfCheckBox = nullptr;
    QCheckBox* icsCheckBox = nullptr;
    QCheckBox* txtCheckBox = nullptr;
    QCheckBox* ics2CheckBox = nullptr;
    QCheckBox* mboxCheckBox = nullptr;
    QCheckBox* exportVcfCBox = nullptr;
    QCheckBox* exportIcsCBox = nullptr;
    QWidget* progressBox = nullptr;
    QVBoxLayout* progressLayout = nullptr;
    QLabel* summaryLabel = nullptr;
    QPushButton* cancelBtn = nullptr;
    QPushButton* okBtn = nullptr;
};
