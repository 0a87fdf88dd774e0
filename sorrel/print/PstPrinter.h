#pragma once
// Prints an item: its print page (PrintContentProvider) is written into a
// hidden WebEngineView with the mail view's lock-down (no script of the
// page runs, nothing but data: and about: is fetched, no navigation
// replaces the page), then the print dialog asks for the printer. "Print to
// File (PDF)" is printed by the web engine as a PDF with real text; other
// printers get the engine's rendered pages. Each request is a job of its
// own; the outcome goes to the log and to jobFinished.

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class PstItem;
class QPrinter;
class QWidget;

class PstPrinter : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Printed, Cancelled, Failed };
    Q_ENUM(Outcome)

    // Asks for the printer and its settings; true to print. The default
    // shows the platform's print dialog on dialogParent.
    using DialogHook = std::function<bool(QPrinter& printer, QWidget* dialogParent)>;

    explicit PstPrinter(QWidget* dialogParent = nullptr, QObject* parent = nullptr);
    ~PstPrinter() override;

    // Builds item's print page and starts its job; false (and a log line)
    // for a kind that does not print. The body is read from the file here
    // and not kept.
    bool printItem(const PstItem& item);
    // Starts a print job for a page.
    void printHtml(const QString& html);

    // Replaces the print dialog (tests, measurements).
    void setDialogHook(DialogHook hook) { m_dialogHook = std::move(hook); }
    int jobsRunning() const { return m_jobsRunning; }

signals:
    // Once per job: printed, cancelled at the dialog, or failed (the page did
    // not load, the renderer died, or the printer reported a failure).
    void jobFinished(PstPrinter::Outcome outcome);

private:
    QPointer<QWidget> m_dialogParent;
    DialogHook m_dialogHook;
    int m_jobsRunning = 0;
};
