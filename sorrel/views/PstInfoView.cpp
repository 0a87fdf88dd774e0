#include "sorrel/views/PstInfoView.h"

#include "common/ProductProfile.h"
#include "sorrel/items/PstItem.h"
#include "sorrel/views/PstAttachmentButton.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

PstInfoLabel::PstInfoLabel(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Form"));
    resize(400, 75);
    setStyleSheet(QStringLiteral(
        "#mainFrame { border: none; border-top: 1px solid rgb(200,200,200); }\n"
        "QWidget { background: rgb(255, 255, 255); font-size: 12px; }\n"
        "#labelTitle { font-weight: 700; color: rgb(128, 128, 128); }\n"));
    auto* verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    labelTitle = new QLabel(QStringLiteral("LabelTitle"), this);
    labelTitle->setObjectName(QStringLiteral("labelTitle"));
    labelTitle->setTextFormat(Qt::PlainText);
    labelTitle->setMaximumHeight(14);
    auto* mainFrame = new QFrame(this);
    mainFrame->setObjectName(QStringLiteral("mainFrame"));
    mainFrame->setFrameShape(QFrame::NoFrame);
    mainFrame->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    verticalLayout_2 = new QVBoxLayout(mainFrame);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout->addWidget(labelTitle);
    verticalLayout->addWidget(mainFrame);
}

void PstInfoLabel::setTitle(const QString& title)
{
    labelTitle->setText(title);
}

QString PstInfoLabel::title() const
{
    return labelTitle->text();
}

void PstInfoLabel::addRow(const QString& label, const QString& value)
{
    auto* row = new QHBoxLayout;
    auto makeLabel = [this](const QString& text) {
        auto* l = new QLabel(this);
        // Values come from the PST file; show them as they are.
        l->setTextFormat(Qt::PlainText);
        l->setText(text);
        l->setStyleSheet(QStringLiteral("font-weight: bold ;"));
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    QLabel* l = makeLabel(label);
    l->setVisible(!label.isEmpty());
    QLabel* v = makeLabel(value);
    v->setWordWrap(true);
    row->addWidget(l);
    row->addWidget(v);
    verticalLayout_2->addLayout(row);
}

namespace {
// The name label and the attachments row come before the section boxes.
constexpr int kFirstSection = 2;
} // namespace

PstInfoView::PstInfoView(QWidget* parent) : QWidget(parent), m_tempDir(ProductProfile::tempDirectory())
{
    setWindowTitle(QStringLiteral("Form"));
    resize(487, 675);
    setStyleSheet(QStringLiteral(
        "QWidget { background: rgb(255, 255, 255); border: none; font-size: 12px; }\n"
        "#name { font-size: 14px; font-weight: bold; }\n") + PstAttachmentButton::styleRules());
    auto* gridLayout = new QGridLayout(this);
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    gridLayout->setContentsMargins(0, 0, 0, 0);
    scrollArea = new QScrollArea(this);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    scrollArea->setWidgetResizable(true);
    auto* contents = new QWidget;
    contents->setObjectName(QStringLiteral("scrollAreaWidgetContents"));
    verticalLayout = new QVBoxLayout(contents);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(10);
    name = new QLabel(QStringLiteral("Name"), contents);
    name->setObjectName(QStringLiteral("name"));
    name->setTextFormat(Qt::PlainText);
    name->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    name->setAlignment(Qt::AlignCenter);
    name->setWordWrap(true);
    verticalLayout->addWidget(name);
    auto* attachmentRow = new QHBoxLayout;
    attachmentRow->addStretch(1);
    attachmentBtn = new PstAttachmentButton(contents);
    attachmentBtn->hide();
    attachmentRow->addWidget(attachmentBtn);
    verticalLayout->addLayout(attachmentRow);
    verticalLayout->addSpacerItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    scrollArea->setWidget(contents);
    gridLayout->addWidget(scrollArea, 0, 0);
}

QString PstInfoView::nameText() const
{
    return name->text();
}

QMenu* PstInfoView::attachmentMenu() const
{
    return attachmentBtn->attachmentMenu();
}

QList<PstInfoLabel*> PstInfoView::sections() const
{
    QList<PstInfoLabel*> out;
    for (int i = kFirstSection; i < verticalLayout->count(); ++i)
        if (auto* box = qobject_cast<PstInfoLabel*>(verticalLayout->itemAt(i)->widget()))
            out.append(box);
    return out;
}

void PstInfoView::setItem(const std::shared_ptr<PstItem>& item)
{
    for (int i = verticalLayout->count() - 1; i >= kFirstSection; --i) {
        QLayoutItem* entry = verticalLayout->itemAt(i);
        if (entry->spacerItem())
            continue;
        entry = verticalLayout->takeAt(i);
        if (QWidget* w = entry->widget())
            w->deleteLater();
        delete entry;
    }
    attachmentBtn->setItem(item, m_tempDir);
    if (!item)
        return;
    name->setText(item->title());
    const QList<InfoSection> sections = item->infoSections(item->loadBody());
    for (const InfoSection& section : sections) {
        QList<QPair<QString, QString>> rows;
        for (const auto& row : section.rows)
            if (!row.second.trimmed().isEmpty())  // an HTML body may leave only blank lines
                rows.append(row);
        if (rows.isEmpty())
            continue;
        auto* box = new PstInfoLabel;
        box->setTitle(section.title);
        for (const auto& [label, value] : rows)
            box->addRow(label, value);
        verticalLayout->insertWidget(verticalLayout->count() - 1, box);
    }
}
