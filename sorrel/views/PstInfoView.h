#pragma once
// Detail page of contacts, appointments, journal entries, tasks and sticky
// notes: the title in large bold type, the attachments button (open, save,
// save all) when the item has attachments, and one box per section of the
// record's infoSections(); empty rows and all-empty sections are left out.

#include <QWidget>

#include <memory>

class PstAttachmentButton;
class PstItem;
class QLabel;
class QMenu;
class QScrollArea;
class QVBoxLayout;

// One section box: a grey bold title above label/value rows.
class PstInfoLabel : public QWidget
{
    Q_OBJECT
public:
    explicit PstInfoLabel(QWidget* parent = nullptr);
    void setTitle(const QString& title);
    void addRow(const QString& label, const QString& value);
    QString title() const;

private:
    QLabel* labelTitle = nullptr;
    QVBoxLayout* verticalLayout_2 = nullptr;
};

class PstInfoView : public QWidget
{
    Q_OBJECT
public:
    explicit PstInfoView(QWidget* parent = nullptr);
    void setItem(const std::shared_ptr<PstItem>& item);
    // Where opened attachments are written first.
    void setTemporaryDirectory(const QString& dir) { m_tempDir = dir; }

    QString nameText() const;
    QMenu* attachmentMenu() const;
    // The section boxes now shown, in order.
    QList<PstInfoLabel*> sections() const;

private:
    QScrollArea* scrollArea = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QLabel* name = nullptr;
    PstAttachmentButton* attachmentBtn = nullptr;
    QString m_tempDir;
};
