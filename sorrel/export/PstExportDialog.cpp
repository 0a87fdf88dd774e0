#include "sorrel/export/PstExportDialog.h"

#include "common/Log.h"
#include "common/Platform.h"
#include "sorrel/export/AlternateTreeView.h"
#include "sorrel/export/ExportManager.h"
#include "sorrel/export/ExportNaming.h"
#include "sorrel/store/PstTreeController.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

const char kStyleSheet[] =
    "QDialog { background: white; font-size: 12px; }\n"
    "QGroupBox { background: rgb(247,247,247); border: none; border-radius: 8px; }\n"
    "#cancelBtn { background: white; color: rgb(110,110,110); border: 1px solid rgb(200,200,200); border-radius: 4px; }\n"
    "#okBtn { color: white; background: rgb(63,141,244); border: none; border-radius: 4px; }\n"
    "#okBtn:pressed { background: rgb(40,96,204); }\n"
    "#okBtn:disabled { background: rgb(190,190,190); }\n"
    "#treeView { border: 1px solid rgb(225,225,225); }\n"
    "QScrollBar:vertical { width: 8px; background: transparent; margin: 0; }\n"
    "QScrollBar::handle:vertical { background: rgba(0,0,0,25%); border-radius: 4px; min-height: 20px; }\n"
    "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }\n";

const char kProgressStyle[] =
    "QProgressBar { border: none; border-radius: 8px; text-align: right; color: white;"
    " background: #E0E0E0; max-height: 8px; }\n"
    "QProgressBar::chunk { background: #2196F3; border-radius: 8px; }\n";

// The run's last output location; empty until the first choice.
QString g_lastLocation;

QString tr(const char* text)
{
    return QCoreApplication::translate("PstExportDialog", text);
}

QString chooseWithDialog(QWidget* parent, const QString& proposedPath)
{
    return QFileDialog::getSaveFileName(parent, tr("Select export folder"), proposedPath, QString(), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

// A row of the kinds: check box and its description.
QCheckBox* addKindRow(QVBoxLayout* into, QWidget* parent, const char* rowName, const char* boxName,
                      const QString& text, const char* labelName, const QString& description)
{
    auto* row = new QHBoxLayout;
    row->setObjectName(QLatin1String(rowName));
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QLatin1String(boxName));
    box->setChecked(true);
    auto* label = new QLabel(description, parent);
    label->setObjectName(QLatin1String(labelName));
    row->addWidget(box);
    row->addStretch(1);
    row->addWidget(label);
    into->addLayout(row);
    return box;
}

} // namespace

PstExportDialog::PstExportDialog(int mode, QWidget* parent) : QDialog(parent), m_mode(mode)
{
    setObjectName(QStringLiteral("PstExportDialog"));
    buildForm();
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);
    if (m_mode == 1) {
        exportBox->hide();
        setWindowTitle(tr("Conversion"));
    } else {
        convertBox->hide();
        setWindowTitle(tr("Export"));
        okBtn->setText(tr("Export"));
    }
    setFixedSize(560, 620);

    m_manager = new ExportManager(this);
    m_treeController = std::make_unique<PstTreeController>(treeView, nullptr);
    m_treeController->setBackgroundEnabled(false);  // its own copy: nothing to index or search
    m_treeController->setHideEmptyFolders(true);
    stackedWidget->setCurrentWidget(exportPage);

    connect(okBtn, &QPushButton::clicked, this, &PstExportDialog::onOkClicked);
    connect(cancelBtn, &QPushButton::clicked, this, &PstExportDialog::onCancelClicked);
    connect(ignoreFolderCheckBox, &QCheckBox::clicked, this, [this](bool checked) {
        m_treeController->setHideEmptyFolders(checked);
        m_manager->setIgnoreEmptyFolders(checked);
    });
    for (QCheckBox* box : {emlCheckBox, vcfCheckBox, icsCheckBox, txtCheckBox, ics2CheckBox})
        connect(box, &QCheckBox::toggled, this, &PstExportDialog::updateOkEnabled);
    // Mailboxes mirror the tree in a layout of their own: they go alone.
    connect(mboxCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        for (QCheckBox* box : {emlCheckBox, vcfCheckBox, icsCheckBox, txtCheckBox, ics2CheckBox})
            box->setEnabled(!on);
        updateOkEnabled();
    });
    connect(m_manager, &ExportManager::progressReady, this, &PstExportDialog::onProgressReady);
    connect(m_manager, &ExportManager::exportItemNotFound, this, &PstExportDialog::onItemNotFound);
    connect(m_manager, &ExportManager::exportCompleted, this, &PstExportDialog::onCompleted);
    updateOkEnabled();
}

PstExportDialog::~PstExportDialog()
{
    // The controller goes before the view it works on.
    m_treeController.reset();
}

void PstExportDialog::buildForm()
{
    setStyleSheet(QLatin1String(kStyleSheet));
    verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(6);
    verticalLayout->setContentsMargins(0, 0, 0, 4);

    stackedWidget = new QStackedWidget(this);
    stackedWidget->setObjectName(QStringLiteral("stackedWidget"));
    exportPage = new QWidget;
    exportPage->setObjectName(QStringLiteral("exportPage"));
    auto* verticalLayout_2 = new QVBoxLayout(exportPage);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));

    treeView = new AlternateTreeView(exportPage);
    treeView->setObjectName(QStringLiteral("treeView"));
    treeView->setFixedHeight(300);
    verticalLayout_2->addWidget(treeView);

    ignoreFolderCheckBox = new QCheckBox(tr("Ignore Empty Folders"), exportPage);
    ignoreFolderCheckBox->setObjectName(QStringLiteral("ignoreFolderCheckBox"));
    ignoreFolderCheckBox->setChecked(true);
    verticalLayout_2->addWidget(ignoreFolderCheckBox);

    auto* convertGroup = new QGroupBox(exportPage);
    convertGroup->setObjectName(QStringLiteral("convertBox"));
    convertBox = convertGroup;
    auto* verticalLayout_3 = new QVBoxLayout(convertGroup);
    verticalLayout_3->setObjectName(QStringLiteral("verticalLayout_3"));
    auto* label = new QLabel(tr("Choose the kinds of files to convert"), convertGroup);
    label->setObjectName(QStringLiteral("label"));
    verticalLayout_3->addWidget(label);
    emlCheckBox = addKindRow(verticalLayout_3, convertGroup, "horizontalLayout_2", "emlCheckBox", tr("Mails"),
                             "label_2", tr("Convert to *.eml file"));
    vcfCheckBox = addKindRow(verticalLayout_3, convertGroup, "horizontalLayout_3", "vcfCheckBox", tr("Contacts"),
                             "label_3", tr("Convert to *.vcf file"));
    icsCheckBox = addKindRow(verticalLayout_3, convertGroup, "horizontalLayout_4", "icsCheckBox", tr("Calendar"),
                             "label_4", tr("Convert to *.ics file"));
    txtCheckBox = addKindRow(verticalLayout_3, convertGroup, "horizontalLayout_5", "txtCheckBox", tr("Note"),
                             "label_5", tr("Convert to *.txt file"));
    ics2CheckBox = addKindRow(verticalLayout_3, convertGroup, "horizontalLayout_6", "ics2CheckBox", tr("Journal"),
                              "label_6", tr("Convert to *.ics file"));
    mboxCheckBox = addKindRow(verticalLayout_3, convertGroup, "horizontalLayout_mbox", "mboxCheckBox",
                              tr("Mailboxes"), "label_mbox", tr("Mails only, one mbox file per folder"));
    mboxCheckBox->setChecked(false);
    verticalLayout_2->addWidget(convertGroup);

    auto* exportGroup = new QGroupBox(exportPage);
    exportGroup->setObjectName(QStringLiteral("exportBox"));
    exportBox = exportGroup;
    auto* verticalLayout_5 = new QVBoxLayout(exportGroup);
    verticalLayout_5->setObjectName(QStringLiteral("verticalLayout_5"));
    auto* label_7 = new QLabel(tr("Choose the kinds of files to export to other apps"), exportGroup);
    label_7->setObjectName(QStringLiteral("label_7"));
    verticalLayout_5->addWidget(label_7);
    exportVcfCBox = addKindRow(verticalLayout_5, exportGroup, "horizontalLayout_8", "exportVcfCBox", tr("Contacts"),
                               "label_9", tr("Export to Contacts.app"));
    exportIcsCBox = addKindRow(verticalLayout_5, exportGroup, "horizontalLayout_9", "exportIcsCBox", tr("Calendar"),
                               "label_10", tr("Export to iCal.app"));
    verticalLayout_2->addWidget(exportGroup);
    stackedWidget->addWidget(exportPage);

    progressPage = new QWidget;
    progressPage->setObjectName(QStringLiteral("progressPage"));
    auto* verticalLayout_4 = new QVBoxLayout(progressPage);
    verticalLayout_4->setObjectName(QStringLiteral("verticalLayout_4"));
    QMargins m = verticalLayout_4->contentsMargins();
    m.setBottom(0);
    verticalLayout_4->setContentsMargins(m);
    progressBox = new QWidget(progressPage);
    progressBox->setObjectName(QStringLiteral("progressBox"));
    progressLayout = new QVBoxLayout(progressBox);
    progressLayout->setObjectName(QStringLiteral("progressLayout"));
    progressLayout->setContentsMargins(0, 0, 0, 0);
    verticalLayout_4->addWidget(progressBox);
    summaryLabel = new QLabel(progressPage);
    summaryLabel->setObjectName(QStringLiteral("summaryLabel"));
    summaryLabel->setWordWrap(true);
    summaryLabel->hide();
    verticalLayout_4->addWidget(summaryLabel);
    verticalLayout_4->addStretch(1);
    stackedWidget->addWidget(progressPage);
    verticalLayout->addWidget(stackedWidget);

    auto* horizontalLayout = new QHBoxLayout;
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->setSpacing(10);
    QMargins hm = horizontalLayout->contentsMargins();
    horizontalLayout->setContentsMargins(9, hm.top(), 9, 9);
    horizontalLayout->addStretch(1);
    cancelBtn = new QPushButton(tr("Cancel"), this);
    cancelBtn->setObjectName(QStringLiteral("cancelBtn"));
    cancelBtn->setMinimumSize(100, 27);
    okBtn = new QPushButton(tr("Convert"), this);
    okBtn->setObjectName(QStringLiteral("okBtn"));
    okBtn->setMinimumSize(124, 27);
    okBtn->setDefault(true);
    horizontalLayout->addWidget(cancelBtn);
    horizontalLayout->addWidget(okBtn);
    verticalLayout->addLayout(horizontalLayout);
}

void PstExportDialog::prepare(const PstFolderItemPtr& fileNode)
{
    if (!fileNode)
        return;
    QElapsedTimer timer;
    timer.start();
    m_root = std::dynamic_pointer_cast<PstFolderItem>(fileNode->clone());
    mw::logInfo(QStringLiteral("[profile] export dialog prepare: %1 ms").arg(timer.elapsed()));
    m_treeController->addFileNode(m_root);
    updateOkEnabled();
}

QString PstExportDialog::suggestedFolderName(const QString& rootName, const QDateTime& time)
{
    const QString stamp = QLatin1Char(' ') + time.toString(QStringLiteral("yyyy-MM-dd_hh-mm-ss"));
    return exportnaming::fitName(exportnaming::folderName(rootName), stamp, QString());
}

QString PstExportDialog::lastLocation()
{
    if (!g_lastLocation.isEmpty())
        return g_lastLocation;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

QStringList PstExportDialog::chosenFormats() const
{
    if (mboxCheckBox->isChecked())
        return {QStringLiteral("mbox")};
    QStringList formats;
    const std::pair<QCheckBox*, const char*> kinds[] = {
        {emlCheckBox, "eml"}, {vcfCheckBox, "vcf"}, {icsCheckBox, "ics"}, {txtCheckBox, "txt"}, {ics2CheckBox, "ics2"}};
    for (const auto& [box, key] : kinds) {
        if (box->isChecked())
            formats << QLatin1String(key);
    }
    return formats;
}

void PstExportDialog::updateOkEnabled()
{
    if (m_finished)
        okBtn->setEnabled(true);
    else
        okBtn->setEnabled(m_mode == 1 && m_root && !m_started && !chosenFormats().isEmpty());
}

void PstExportDialog::onOkClicked()
{
    if (m_finished) {
        (m_openFolder ? m_openFolder : Platform::openFolder)(m_outputFolder);
        if (m_manager->isExporting())
            m_manager->cancelExport();
        else
            close();
        return;
    }
    if (m_mode == 1 && !m_started)
        startConversion();
}

void PstExportDialog::startConversion()
{
    if (!m_root)
        return;
    const QString proposed = lastLocation() + QLatin1Char('/')
        + suggestedFolderName(m_root->title(), QDateTime::currentDateTime());
    const QString chosen = (m_chooseFolder ? m_chooseFolder : chooseWithDialog)(this, proposed);
    if (chosen.isEmpty()) {
        mw::logInfo(QStringLiteral("Export folder deselected."));
        return;
    }
    const QFileInfo info(chosen);
    g_lastLocation = info.absolutePath();
    m_outputFolder = info.absoluteFilePath();
    m_started = true;
    okBtn->hide();
    updateOkEnabled();
    m_manager->startExportToFiles(m_root, m_outputFolder, chosenFormats());
}

void PstExportDialog::onProgressReady(const QString& label, std::shared_ptr<ProgressReporter> reporter, int total)
{
    if (total <= 0)
        return;
    auto* row = new QVBoxLayout;
    const QString doing = windowTitle() == tr("Conversion") ? tr("Converting") : tr("Exporting");
    auto* caption = new QLabel(tr("%1 %2").arg(doing, label), progressBox);
    auto* bar = new QProgressBar(progressBox);
    bar->setRange(0, total);
    bar->setValue(0);
    bar->setFormat(QStringLiteral("%v/%m  "));
    bar->setStyleSheet(QLatin1String(kProgressStyle));
    auto* result = new QLabel(progressBox);
    result->setObjectName(QStringLiteral("resultLabel"));
    result->hide();
    row->addWidget(caption);
    row->addWidget(bar);
    row->addWidget(result);
    progressLayout->addLayout(row);
    m_bars.insert(label, bar);
    m_resultLabels.insert(label, result);
    // The count of the format so far; a late, smaller count never moves the bar back.
    connect(reporter.get(), &ProgressReporter::progressUpdated, bar, [bar](int done) {
        if (bar->value() < done)
            bar->setValue(done);
    });
    stackedWidget->setCurrentWidget(progressPage);
    setFixedHeight(int(m_bars.size()) * 56 + 60);
}

void PstExportDialog::onItemNotFound()
{
    auto* box = new QMessageBox(QMessageBox::Information, tr("Export Error"), tr("No items to export."),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void PstExportDialog::onCompleted(bool toApp)
{
    mw::logInfo(QStringLiteral("All export tasks have completed."));
    okBtn->show();
    if (toApp) {
        close();
        return;
    }
    m_finished = true;
    okBtn->setText(tr("Show in Explorer"));
    cancelBtn->setText(tr("Close"));
    updateOkEnabled();
    showResults();
}

void PstExportDialog::showResults()
{
    int written = 0;
    int failed = 0;
    const QMap<QString, ExportManager::FormatResult> results = m_manager->results();
    for (const QString& format : m_manager->formats()) {
        const ExportManager::FormatResult r = results.value(format);
        written += r.written;
        failed += r.failed;
        QLabel* label = m_resultLabels.value(ExportManager::progressLabel(format));
        if (!label)
            continue;
        label->setText(tr("%1 written, %2 failed").arg(r.written).arg(r.failed));
        label->setStyleSheet(r.failed > 0 ? QStringLiteral("color: rgb(200,40,40);") : QString());
        label->show();
    }
    if (m_cancelled)
        summaryLabel->setText(tr("Conversion cancelled: %1 item(s) written, %2 not written.").arg(written).arg(failed));
    else if (failed > 0)
        summaryLabel->setText(tr("Conversion finished with errors: %1 item(s) written, %2 failed.").arg(written).arg(failed));
    else
        summaryLabel->setText(tr("Conversion finished: %1 item(s) written.").arg(written));
    summaryLabel->show();
    stackedWidget->setCurrentWidget(progressPage);
    setFixedHeight(int(m_bars.size()) * 76 + 100);
}

void PstExportDialog::onCancelClicked()
{
    mw::logInfo(QStringLiteral("Cancelled export."));
    if (m_manager->isExporting()) {
        m_cancelled = true;
        m_manager->cancelExport();
        cancelBtn->setText(tr("Close"));
    } else {
        close();
    }
}
