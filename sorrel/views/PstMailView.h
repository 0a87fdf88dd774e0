#pragma once
// A mail in the detail pane: a grey header (sender, address, date,
// recipients, subject, attachments button) above the body in a WebEngineView.
// Header texts come from the mail and are always shown as plain text.

#include <QWidget>

#include <memory>

class ElidedLabel;
class PstAttachmentButton;
class PstItem;
class QFrame;
class QLabel;
class QMenu;
class WebEngineView;

class PstMailView : public QWidget
{
    Q_OBJECT
public:
    explicit PstMailView(QWidget* parent = nullptr);
    ~PstMailView() override;

    // Shows a mail; a record of another kind is ignored.
    void setItem(const std::shared_ptr<PstItem>& item);
    // Where opened attachments are written first.
    void setTemporaryDirectory(const QString& dir) { m_tempDir = dir; }

    WebEngineView* bodyView() const { return m_body; }
    QMenu* attachmentMenu() const;

private:
    QFrame* headFrame = nullptr;
    QLabel* from = nullptr;
    ElidedLabel* fromLabel = nullptr;
    QLabel* dateLabel = nullptr;
    QLabel* toLabel = nullptr;
    QLabel* stateLabel = nullptr;
    ElidedLabel* ccLabel = nullptr;
    ElidedLabel* bccLabel = nullptr;
    ElidedLabel* subjectLabel = nullptr;
    PstAttachmentButton* attachmentBtn = nullptr;
    WebEngineView* m_body = nullptr;
    QString m_tempDir;
};
