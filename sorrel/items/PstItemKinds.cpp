#include "sorrel/items/PstItemKinds.h"

#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstTextDecoding.h"

#include <QStringList>

#include <cstdlib>

namespace {

QPair<QString, QString> row(const QString& label, const QString& value)
{
    return {label, value};
}

// Empty for a missing date, so its row is left out.
QString detailDate(const PstItem& item, const QString& key)
{
    return optionalDateText(item.date(key), kDetailDateFormat);
}

} // namespace

// --- Calendar ---------------------------------------------------------------

QString PstCalendarItem::iconPath() const
{
    return QStringLiteral(":/img/calendar@3x.png");
}

QString PstCalendarItem::durationText() const
{
    // Without both ends there is no span to show.
    if (!date(PstKey::StartDate) || !date(PstKey::EndDate))
        return QString();
    const qint64 span = std::llabs(date(PstKey::EndDate) - date(PstKey::StartDate));
    const qint64 days = span / 86400;
    const qint64 hours = (span % 86400) / 3600;
    const qint64 minutes = (span % 86400) % 3600 / 60;
    QString text;
    if (days > 0)
        text += QStringLiteral("%1d ").arg(days);
    if (hours > 0 || days > 0)
        text += QStringLiteral("%1h ").arg(hours);
    text += QStringLiteral("%1m").arg(minutes);
    return text.trimmed();
}

qint64 PstCalendarItem::sortTime() const
{
    return date(PstKey::StartDate);
}

std::shared_ptr<PstItem> PstCalendarItem::clone() const
{
    auto copy = std::make_shared<PstCalendarItem>();
    copyBaseInto(*copy);
    return copy;
}

QList<InfoSection> PstCalendarItem::infoSections(const PstItemBody& body) const
{
    return {
        {tr("Appointment Details"),
         {row(tr("Subject"), subject()), row(tr("Start Date"), detailDate(*this, PstKey::StartDate)),
          row(tr("End Date"), detailDate(*this, PstKey::EndDate)), row(tr("Location"), text(PstKey::Location))}},
        {tr("Recurrence Details"), {row(tr("Recurrence Pattern"), text(PstKey::RecurrenceDescription))}},
        {tr("Notes"), {row(QString(), body.text())}},
    };
}

// --- Contact ----------------------------------------------------------------

QString PstContactItem::title() const
{
    const QString first = text(PstKey::FirstName);
    const QString last = text(PstKey::Surname);
    if (first.isEmpty() && last.isEmpty())
        return tr("Empty name");
    return first + QLatin1Char(' ') + last;
}

QString PstContactItem::subject() const
{
    return text(PstKey::PrimaryEmail);
}

QString PstContactItem::iconPath() const
{
    return QStringLiteral(":/img/contact@3x.png");
}

std::shared_ptr<PstItem> PstContactItem::clone() const
{
    auto copy = std::make_shared<PstContactItem>();
    copyBaseInto(*copy);
    return copy;
}

QList<InfoSection> PstContactItem::infoSections(const PstItemBody& body) const
{
    using namespace PstKey;
    return {
        {tr("Contact Name"), {row(tr("First Name"), text(FirstName)), row(tr("Last Name"), text(Surname))}},
        {tr("Professional Information"),
         {row(tr("Title"), text(JobTitle)), row(tr("Company"), text(CompanyName)),
          row(tr("Department"), text(Department))}},
        {tr("Phone Numbers"),
         {row(tr("Business"), text(BusinessPhone)), row(tr("Home"), text(HomePhone)),
          row(tr("Mobile"), text(MobilePhone)), row(tr("Other"), text(OtherPhone)),
          row(tr("Callback"), text(CallbackPhone)), row(tr("Car"), text(CarPhone))}},
        {tr("Email Addresses"),
         {row(tr("Email 1"), text(PrimaryEmail)), row(tr("Email 2"), text(SecondaryEmail)),
          row(tr("Email 3"), text(TertiaryEmail))}},
        {tr("Fax"),
         {row(tr("Fax (Primary)"), text(PrimaryFax)), row(tr("Fax (Home)"), text(HomeFax)),
          row(tr("Fax (Business)"), text(BusinessFax))}},
        {tr("Addresses"),
         {row(tr("Home Address"), text(HomeAddress)), row(tr("Business Address"), text(BusinessAddress)),
          row(tr("Other Address"), text(OtherAddress))}},
        {tr("Notes"), {row(QString(), body.text())}},
    };
}

// --- Journal entry ----------------------------------------------------------

QString PstJournalItem::iconPath() const
{
    return QStringLiteral(":/img/diary@3x.png");
}

QString PstJournalItem::durationText() const
{
    const qint64 m = m_duration;
    const qint64 days = m / 1440;
    const qint64 hours = (m % 1440) / 60;
    const qint64 minutes = m % 60;
    QStringList parts;
    if (days)
        parts << QStringLiteral("%1 d").arg(days);
    if (hours)
        parts << QStringLiteral("%1 h").arg(hours);
    if (minutes)
        parts << QStringLiteral("%1 m").arg(minutes);
    return parts.isEmpty() ? QStringLiteral("0 m") : parts.join(QLatin1Char(' '));
}

std::shared_ptr<PstItem> PstJournalItem::clone() const
{
    auto copy = std::make_shared<PstJournalItem>();
    copyBaseInto(*copy);
    copy->m_duration = m_duration;
    return copy;
}

QList<InfoSection> PstJournalItem::infoSections(const PstItemBody& body) const
{
    return {
        {tr("Journal Entry"),
         {row(tr("Subject"), subject()), row(tr("Type"), text(PstKey::Description)),
          row(tr("Start Date"), detailDate(*this, PstKey::StartTime)),
          row(tr("End Date"), detailDate(*this, PstKey::EndTime)), row(tr("Duration"), durationText())}},
        {tr("Notes"), {row(QString(), body.text())}},
    };
}

// --- Task -------------------------------------------------------------------

QString PstTaskItem::iconPath() const
{
    return QStringLiteral(":/img/task@3x.png");
}

std::shared_ptr<PstItem> PstTaskItem::clone() const
{
    auto copy = std::make_shared<PstTaskItem>();
    copyBaseInto(*copy);
    copy->m_complete = m_complete;
    copy->m_status = m_status;
    copy->m_actualEffort = m_actualEffort;
    copy->m_estimatedEffort = m_estimatedEffort;
    copy->m_percentComplete = m_percentComplete;
    return copy;
}

QString PstTaskItem::statusText(int32_t status)
{
    switch (status) {
    case 0: return tr("not started");
    case 1: return tr("in progress");
    case 2: return tr("complete");
    case 3: return tr("waiting on someone else");
    case 4: return tr("deferred");
    default: return QString();
    }
}

QString PstTaskItem::effortText(int32_t m)
{
    auto unit = [](int32_t n, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    if (m >= 1 && m % 2400 == 0)
        return unit(m / 2400, "week", "weeks");
    if (m >= 1 && m % 480 == 0)
        return unit(m / 480, "day", "days");
    if (m % 60 != 0)
        return QString();
    return unit(m / 60, "hour", "hours");
}

QList<InfoSection> PstTaskItem::infoSections(const PstItemBody& body) const
{
    return {
        {tr("Task Schedule"),
         {row(tr("Start Date"), detailDate(*this, PstKey::StartDate)),
          row(tr("Due Date"), detailDate(*this, PstKey::DueDate))}},
        {tr("Task Status"),
         {row(tr("Owner"), text(PstKey::Owner)), row(tr("Status"), statusText(m_status)),
          row(tr("Estimated work"), effortText(m_estimatedEffort)),
          row(tr("Actual work"), effortText(m_actualEffort)),
          row(tr("Progress"), QStringLiteral("%1 % completed").arg(m_percentComplete))}},
        {tr("Notes"), {row(QString(), body.text())}},
    };
}

// --- Sticky note ------------------------------------------------------------

QString PstNoteItem::iconPath() const
{
    return QStringLiteral(":/img/notepaper@3x.png");
}

qint64 PstNoteItem::sortTime() const
{
    return date(PstKey::CreateDate);
}

std::shared_ptr<PstItem> PstNoteItem::clone() const
{
    auto copy = std::make_shared<PstNoteItem>();
    copyBaseInto(*copy);
    return copy;
}

QList<InfoSection> PstNoteItem::infoSections(const PstItemBody& body) const
{
    return {{tr("Notes"), {row(QString(), body.text())}}};
}
