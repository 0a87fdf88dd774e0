#include "sorrel/print/PstPrinter.h"

#include "common/Log.h"
#include "sorrel/items/PstItem.h"
#include "sorrel/print/PrintContentProvider.h"
#include "sorrel/views/WebEngineView.h"

#include <QPrintDialog>
#include <QPrinter>

#include <memory>

namespace {

// One print request: the hidden view, the printer, and the steps from
// written page to finished print. Every step runs at most once, so a page
// that loads again can never start a second print. Deletes itself.
class PrintJob : public QObject {
    Q_OBJECT
public:
    PrintJob(const QString& html, PstPrinter::DialogHook hook, QPointer<QWidget> dialogParent)
        : m_hook(std::move(hook)), m_dialogParent(std::move(dialogParent)),
          m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution)),
          // Never shown and without parent: it is rendered, not displayed.
          m_view(new WebEngineView(nullptr, WebEngineView::Purpose::Print))
    {
        connect(m_view, &WebEngineView::htmlWritten, this, &PrintJob::onWritten);
        connect(m_view->page(), &QWebEnginePage::renderProcessTerminated, this, [this] {
            mw::logWarning(QStringLiteral("Print failed: the page renderer ended."));
            finish(PstPrinter::Outcome::Failed);
        });
        m_view->updateHtml(html);
    }

    ~PrintJob() override { delete m_view; }

signals:
    void finished(PstPrinter::Outcome outcome);

private:
    enum class Step { Loading, Asking, Printing, Done };

    void onWritten(bool ok)
    {
        if (m_step != Step::Loading)
            return;
        if (!ok) {
            mw::logWarning(QStringLiteral("Print failed: the print page could not be loaded."));
            finish(PstPrinter::Outcome::Failed);
            return;
        }
        m_step = Step::Asking;
        if (!askForPrinter()) {
            mw::logInfo(QStringLiteral("Print job has been cancelled."));
            finish(PstPrinter::Outcome::Cancelled);
            return;
        }
        m_step = Step::Printing;
        if (m_printer->outputFormat() == QPrinter::PdfFormat && !m_printer->outputFileName().isEmpty()) {
            // A PDF file from the engine itself keeps its text.
            connect(m_view->page(), &QWebEnginePage::pdfPrintingFinished, this,
                    [this](const QString&, bool success) { onPrinted(success); });
            m_view->page()->printToPdf(m_printer->outputFileName(), m_printer->pageLayout(),
                                       m_printer->pageRanges());
        } else {
            connect(m_view, &QWebEngineView::printFinished, this, &PrintJob::onPrinted);
            m_view->print(m_printer.get());
        }
    }

    bool askForPrinter()
    {
        if (m_hook)
            return m_hook(*m_printer, m_dialogParent.data());
        QPrintDialog dialog(m_printer.get(), m_dialogParent.data());
        return dialog.exec() == QDialog::Accepted;
    }

    void onPrinted(bool success)
    {
        if (m_step != Step::Printing)
            return;
        if (success)
            mw::logInfo(QStringLiteral("Print completed."));
        else
            mw::logWarning(QStringLiteral("Print failed."));
        finish(success ? PstPrinter::Outcome::Printed : PstPrinter::Outcome::Failed);
    }

    void finish(PstPrinter::Outcome outcome)
    {
        if (m_step == Step::Done)
            return;
        m_step = Step::Done;
        emit finished(outcome);
        deleteLater();
    }

    Step m_step = Step::Loading;
    PstPrinter::DialogHook m_hook;
    QPointer<QWidget> m_dialogParent;
    std::unique_ptr<QPrinter> m_printer;
    WebEngineView* m_view;
};

} // namespace

PstPrinter::PstPrinter(QWidget* dialogParent, QObject* parent) : QObject(parent), m_dialogParent(dialogParent) {}

PstPrinter::~PstPrinter() = default;

bool PstPrinter::printItem(const PstItem& item)
{
    const std::unique_ptr<PrintContentProvider> provider = makePrintProvider(item);
    if (!provider) {
        mw::logInfo(QStringLiteral("Print failed, unsupported data type for printing."));
        return false;
    }
    printHtml(provider->content());
    return true;
}

void PstPrinter::printHtml(const QString& html)
{
    auto* job = new PrintJob(html, m_dialogHook, m_dialogParent);
    ++m_jobsRunning;
    connect(job, &PrintJob::finished, this, [this](Outcome outcome) {
        --m_jobsRunning;
        emit jobFinished(outcome);
    });
}

#include "PstPrinter.moc"
