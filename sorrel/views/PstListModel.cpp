#include "sorrel/views/PstListModel.h"

#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstItemKinds.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/items/PstTextDecoding.h"

using namespace PstListRoles;

void PstListModel::setItems(const QList<std::shared_ptr<PstItem>>& items)
{
    beginResetModel();
    clearRows();
    m_items = items;
    endResetModel();
}

void PstListModel::setSearchResults(const QList<PstSearchResult>& rows, const QStringList& terms)
{
    beginResetModel();
    clearRows();
    m_rows = rows;
    m_terms = terms;
    // The names once, shared by every row (a search may answer 100,000 rows).
    QStringList fieldNames;
    for (int field = 0; field <= 5; ++field)
        fieldNames << searchFieldName(field);
    m_matchedNames.reserve(rows.size());
    for (const PstSearchResult& row : rows) {
        QStringList names;
        for (int field : row.matchedFields)
            names << fieldNames.value(field);
        m_matchedNames.append(names);
    }
    endResetModel();
}

void PstListModel::clearRows()
{
    m_items.clear();
    m_rows.clear();
    m_matchedNames.clear();
    m_terms.clear();
    m_snippets.clear();
    m_titleKeys.clear();
    m_subjectKeys.clear();
    m_timeKeys.clear();
    m_keysBuilt = false;
}

std::shared_ptr<PstItem> PstListModel::itemAt(int row) const
{
    if (isSearchMode())
        return row >= 0 && row < m_rows.size() ? m_rows.at(row).item : nullptr;
    return row >= 0 && row < m_items.size() ? m_items.at(row) : nullptr;
}

int PstListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return int(isSearchMode() ? m_rows.size() : m_items.size());
}

QVariant PstListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount())
        return QVariant();
    const int row = index.row();
    if (isSearchMode()) {
        switch (role) {
        case MatchedFieldsRole: return m_matchedNames.at(row);
        case SearchTermsRole: return m_terms;
        case SnippetRole: return snippet(row);
        default: break;
        }
        const PstSearchResult& result = m_rows.at(row);
        return result.item ? itemData(*result.item, role) : recordData(result, role);
    }
    switch (role) {
    case MatchedFieldsRole: return QStringList();
    case SearchTermsRole: return QStringList();
    case SnippetRole: return QString();
    default: return itemData(*m_items.at(row), role);
    }
}

QVariant PstListModel::itemData(const PstItem& item, int role) const
{
    switch (role) {
    case Qt::DisplayRole: return item.title();
    case Qt::DecorationRole: return item.iconPath();
    case KindRole: return int(item.kind());
    case SubjectRole: return item.subject();
    case MailDateRole: {
        const qint64 sent = item.date(PstKey::SentDate);
        return sent ? dateText(sent, kListDateFormat) : PstMailItem::tr("No sent date");
    }
    case HasAttachmentsRole: {
        const auto* mail = item.kind() == PstItemKind::Mail ? static_cast<const PstMailItem*>(&item) : nullptr;
        return mail && mail->hasAttachments();
    }
    case DurationRole: return item.durationText();
    case StartDateRole: return optionalDateText(item.date(PstKey::StartDate), kDetailDateFormat);
    case NoteDateRole:
        // Journal entries have no creation date; their card shows the start.
        return optionalDateText(
            item.date(item.kind() == PstItemKind::Journal ? PstKey::StartTime : PstKey::CreateDate),
            kDetailDateFormat);
    case TaskCompleteRole:
        return item.kind() == PstItemKind::Task && static_cast<const PstTaskItem&>(item).complete();
    case SortTimeRole: return quint64(item.sortTime());
    default: return QVariant();
    }
}

// An index row draws from its record: the texts the card shows were stored
// with it, so no item is parsed to draw it.
QVariant PstListModel::recordData(const PstSearchResult& row, int role) const
{
    switch (role) {
    case Qt::DisplayRole: return row.title();
    case Qt::DecorationRole: return row.iconPath();
    case KindRole: return int(row.record.kind);
    case SubjectRole: return row.subject();
    case MailDateRole:
    case StartDateRole:
    case NoteDateRole: return row.dateText();
    case HasAttachmentsRole: return row.hasAttachments();
    case DurationRole: return row.durationText();
    case TaskCompleteRole: return row.taskFlag();
    default: return QVariant();
    }
}

QString PstListModel::snippet(int row) const
{
    if (auto it = m_snippets.constFind(row); it != m_snippets.cend())
        return *it;
    const PstSearchResult& result = m_rows.at(row);
    QString text;
    if (result.matchedFields.contains(int(PstSearchField::Body)))
        text = searchSnippet(result.fieldText(PstSearchField::Body), m_terms, 40);
    m_snippets.insert(row, text);
    return text;
}

void PstListModel::buildKeys() const
{
    if (m_keysBuilt)
        return;
    const int rows = rowCount();
    m_titleKeys.reserve(rows);
    m_subjectKeys.reserve(rows);
    m_timeKeys.reserve(rows);
    for (int row = 0; row < rows; ++row) {
        const PstItem* item = itemAt(row).get();
        const PstSearchResult* result = isSearchMode() ? &m_rows.at(row) : nullptr;
        m_titleKeys.append(item ? item->title() : result->title());
        m_subjectKeys.append(item ? item->subject() : result->subject());
        // Index rows carry no time; they keep their order among themselves.
        m_timeKeys.append(item ? quint64(item->sortTime()) : 0);
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
