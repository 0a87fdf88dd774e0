#include "sorrel/views/PstListModel.h"

#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstItemKinds.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/items/PstTextDecoding.h"

using namespace PstListRoles;

void PstListModel::setItems(const QList<std::shared_ptr<PstItem>>& items)
{
    beginResetModel();
    m_items = items;
    m_titleKeys.clear();
    m_subjectKeys.clear();
    m_timeKeys.clear();
    m_keysBuilt = false;
    endResetModel();
}

std::shared_ptr<PstItem> PstListModel::itemAt(int row) const
{
    return row >= 0 && row < m_items.size() ? m_items.at(row) : nullptr;
}

int PstListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant PstListModel::data(const QModelIndex& index, int role) const
{
    const PstItem* item = index.isValid() ? itemAt(index.row()).get() : nullptr;
    if (!item)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: return item->title();
    case Qt::DecorationRole: return item->iconPath();
    case KindRole: return int(item->kind());
    case SubjectRole: return item->subject();
    case MailDateRole: {
        const qint64 sent = item->date(PstKey::SentDate);
        return sent ? dateText(sent, kListDateFormat) : PstMailItem::tr("No sent date");
    }
    case HasAttachmentsRole: {
        const auto* mail = item->kind() == PstItemKind::Mail ? static_cast<const PstMailItem*>(item) : nullptr;
        return mail && mail->hasAttachments();
    }
    case DurationRole: return item->durationText();
    case StartDateRole: return optionalDateText(item->date(PstKey::StartDate), kDetailDateFormat);
    case NoteDateRole:
        // Journal entries have no creation date; their card shows the start.
        return optionalDateText(
            item->date(item->kind() == PstItemKind::Journal ? PstKey::StartTime : PstKey::CreateDate),
            kDetailDateFormat);
    case TaskCompleteRole:
        return item->kind() == PstItemKind::Task && static_cast<const PstTaskItem*>(item)->complete();
    case MatchedFieldsRole: return QStringList();
    case SearchTermsRole: return QStringList();
    case SnippetRole: return QString();
    case SortTimeRole: return quint64(item->sortTime());
    default: return QVariant();
    }
}

void PstListModel::buildKeys() const
{
    if (m_keysBuilt)
        return;
    m_titleKeys.reserve(m_items.size());
    m_subjectKeys.reserve(m_items.size());
    m_timeKeys.reserve(m_items.size());
    for (const auto& item : m_items) {
        m_titleKeys.append(item->title());
        m_subjectKeys.append(item->subject());
        m_timeKeys.append(quint64(item->sortTime()));
    }
    m_keysBuilt = true;
}

const QString& PstListModel::titleKey(int row) const
{
    buildKeys();
    return m_titleKeys.at(row);
}

const QString& PstListModel::subjectKey(int row) const
{
    buildKeys();
    return m_subjectKeys.at(row);
}

quint64 PstListModel::sortTimeKey(int row) const
{
    buildKeys();
    return m_timeKeys.at(row);
}

bool PstListSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const auto* model = qobject_cast<const PstListModel*>(sourceModel());
    if (!model || left.row() >= model->rowCount() || right.row() >= model->rowCount())
        return QSortFilterProxyModel::lessThan(left, right);
    switch (sortRole()) {
    case Qt::DisplayRole:
        return QString::compare(model->titleKey(left.row()), model->titleKey(right.row()), sortCaseSensitivity()) < 0;
    case SubjectRole:
        return QString::compare(model->subjectKey(left.row()), model->subjectKey(right.row()), sortCaseSensitivity())
            < 0;
    case SortTimeRole:
        return model->sortTimeKey(left.row()) < model->sortTimeKey(right.row());
    default:
        return QSortFilterProxyModel::lessThan(left, right);
    }
}
