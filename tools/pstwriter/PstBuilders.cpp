// Builders that turn contacts, appointments, tasks, journal entries and
// sticky notes into messages with the properties Outlook gives them.
#include "PstNdb.h"
#include "PstWriter.h"

namespace pstw {

using detail::put16;
using detail::put32;

namespace {

void textIf(Props &p, const PropKey &k, const QString &v)
{
    if (!v.isEmpty())
        p.setText(k, v);
}

PropKey addr(uint32_t l) { return PropKey::named(pset::address(), l); }
PropKey appt(uint32_t l) { return PropKey::named(pset::appointment(), l); }
PropKey task(uint32_t l) { return PropKey::named(pset::task(), l); }
PropKey logp(uint32_t l) { return PropKey::named(pset::log(), l); }

uint32_t minutesSince1601(const QDateTime &t)
{
    return uint32_t(toFiletime(t) / 600000000ull);
}

// Appointment recurrence blob: the recurrence pattern followed by the
// appointment part (no exceptions).
QByteArray recurrenceBlob(const Recurrence &r, const QDateTime &start, const QDateTime &end)
{
    const QDateTime startDay(start.toUTC().date(), QTime(0, 0), Qt::UTC);
    const uint32_t startDate = minutesSince1601(startDay);
    uint16_t freq = 0x200B, patternType = 1;
    uint32_t period = uint32_t(std::max(1, r.interval));
    uint32_t firstDateTime = 0;
    QByteArray specific;
    switch (r.kind) {
    case Recurrence::Daily:
        freq = 0x200A;
        patternType = 0;
        period *= 1440;
        firstDateTime = startDate % period;
        break;
    case Recurrence::Weekly: {
        const uint32_t day = startDate / 1440;
        const uint32_t dow = (day + 1) % 7;          // 1601-01-01 was a Monday; Sunday is 0
        const uint32_t weekStart = day - dow;
        firstDateTime = (weekStart % (period * 7)) * 1440;
        put32(specific, 1u << dow);
        break;
    }
    case Recurrence::Monthly:
    case Recurrence::Yearly: {
        freq = r.kind == Recurrence::Monthly ? 0x200C : 0x200D;
        patternType = 2;
        if (r.kind == Recurrence::Yearly)
            period *= 12;
        const QDate d = startDay.date();
        const int months = (d.year() - 1601) * 12 + d.month() - 1;
        const QDate first = QDate(1601, 1, 1).addMonths(months % int(period));
        firstDateTime = minutesSince1601(QDateTime(first, QTime(0, 0), Qt::UTC));
        put32(specific, uint32_t(d.day()));
        break;
    }
    }
    const bool endless = r.occurrences <= 0;
    const uint32_t count = endless ? 10 : uint32_t(r.occurrences);
    uint32_t endDate = 0x5AE980DF; // "no end date"
    if (!endless) {
        QDate last = startDay.date();
        for (uint32_t k = 1; k < count; ++k) {
            switch (r.kind) {
            case Recurrence::Daily: last = last.addDays(r.interval); break;
            case Recurrence::Weekly: last = last.addDays(7 * r.interval); break;
            case Recurrence::Monthly: last = last.addMonths(r.interval); break;
            case Recurrence::Yearly: last = last.addYears(r.interval); break;
            }
        }
        endDate = minutesSince1601(QDateTime(last, QTime(0, 0), Qt::UTC));
    }
    QByteArray b;
    put16(b, 0x3004);
    put16(b, 0x3004);
    put16(b, freq);
    put16(b, patternType);
    put16(b, 0);                        // Gregorian
    put32(b, firstDateTime);
    put32(b, period);
    put32(b, 0);                        // sliding flag
    b.append(specific);
    put32(b, endless ? 0x2023 : 0x2022);
    put32(b, count);
    put32(b, 0);                        // first day of week: Sunday
    put32(b, 0);                        // deleted instances
    put32(b, 0);                        // modified instances
    put32(b, startDate);
    put32(b, endDate);
    put32(b, 0x3006);
    put32(b, 0x3009);
    put32(b, uint32_t(start.toUTC().time().msecsSinceStartOfDay() / 60000));
    put32(b, uint32_t(start.toUTC().time().msecsSinceStartOfDay() / 60000 + start.secsTo(end) / 60));
    put16(b, 0);                        // exceptions
    put32(b, 0);
    put32(b, 0);
    return b;
}

} // namespace

MessageSpec ContactSpec::toMessage() const
{
    MessageSpec m;
    m.messageClass = QStringLiteral("IPM.Contact");
    const QString full = (givenName + QLatin1Char(' ') + surname).trimmed();
    const QString under = fileUnder.isEmpty() ? (surname.isEmpty() ? full : surname + QStringLiteral(", ") + givenName) : fileUnder;
    m.subject = full;
    if (!note.isEmpty())
        m.body = note;
    Props &p = m.props;
    textIf(p, tag::DisplayName, full);
    textIf(p, tag::GivenName, givenName);
    textIf(p, tag::Surname, surname);
    textIf(p, tag::CompanyName, company);
    textIf(p, tag::DepartmentName, department);
    textIf(p, tag::Title, jobTitle);
    textIf(p, tag::BusinessTelephoneNumber, businessPhone);
    textIf(p, tag::HomeTelephoneNumber, homePhone);
    textIf(p, tag::MobileTelephoneNumber, mobilePhone);
    textIf(p, tag::CarTelephoneNumber, carPhone);
    textIf(p, tag::OtherTelephoneNumber, otherPhone);
    textIf(p, tag::CallbackTelephoneNumber, callbackPhone);
    textIf(p, tag::CompanyMainTelephoneNumber, companyPhone);
    textIf(p, tag::PrimaryFaxNumber, primaryFax);
    textIf(p, tag::BusinessFaxNumber, businessFax);
    textIf(p, tag::HomeFaxNumber, homeFax);
    textIf(p, tag::BusinessHomePage, businessHomePage);
    textIf(p, tag::PersonalHomePage, personalHomePage);
    textIf(p, addr(lid::FileUnder), under);
    textIf(p, addr(lid::HomeAddress), homeAddress);
    textIf(p, addr(lid::WorkAddress), businessAddress);
    textIf(p, addr(lid::OtherAddress), otherAddress);
    if (!email1.isEmpty()) {
        p.setText(addr(lid::Email1EmailAddress), email1);
        p.setText(addr(lid::Email1AddressType), QStringLiteral("SMTP"));
        p.setText(addr(lid::Email1DisplayName), full.isEmpty() ? email1 : full + QStringLiteral(" (") + email1 + QLatin1Char(')'));
    }
    textIf(p, addr(lid::Email2EmailAddress), email2);
    textIf(p, addr(lid::Email3EmailAddress), email3);
    p.merge(props);
    return m;
}

MessageSpec AppointmentSpec::toMessage() const
{
    MessageSpec m;
    m.messageClass = meetingRequest ? QStringLiteral("IPM.Schedule.Meeting.Request") : QStringLiteral("IPM.Appointment");
    m.subject = subject;
    if (!body.isEmpty())
        m.body = body;
    m.senderName = organizerName;
    m.senderEmail = organizerEmail;
    m.recipients = attendees;
    m.sent = m.received = m.created = start.addDays(-7);
    Props &p = m.props;
    textIf(p, appt(lid::Location), location);
    if (start.isValid()) {
        p.setTime(appt(lid::AppointmentStartWhole), start);
        p.setTime(PropKey::named(pset::common(), lid::CommonStart), start);
    }
    if (end.isValid()) {
        p.setTime(appt(lid::AppointmentEndWhole), end);
        p.setTime(PropKey::named(pset::common(), lid::CommonEnd), end);
    }
    if (start.isValid() && end.isValid())
        p.setInt32(appt(lid::AppointmentDuration), int32_t(start.secsTo(end) / 60));
    p.setInt32(appt(lid::BusyStatus), 2);
    p.setBool(appt(lid::AppointmentSubType), allDay);
    p.setBool(appt(lid::Recurring), recurrence.has_value());
    if (recurrence) {
        static const int types[] = {1, 2, 3, 4};
        p.setInt32(appt(lid::RecurrenceType), types[recurrence->kind]);
        textIf(p, appt(lid::RecurrencePattern), recurrence->description);
        p.setBinary(appt(lid::AppointmentRecur), recurrenceBlob(*recurrence, start, end));
    }
    p.merge(props);
    return m;
}

MessageSpec TaskSpec::toMessage() const
{
    MessageSpec m;
    m.messageClass = QStringLiteral("IPM.Task");
    m.subject = subject;
    if (!body.isEmpty())
        m.body = body;
    Props &p = m.props;
    if (status)
        p.setInt32(task(lid::TaskStatus), *status);
    if (percentComplete)
        p.setDouble(task(lid::PercentComplete), *percentComplete);
    if (start)
        p.setTime(task(lid::TaskStartDate), *start);
    if (due)
        p.setTime(task(lid::TaskDueDate), *due);
    if (completed)
        p.setTime(task(lid::TaskDateCompleted), *completed);
    if (actualEffort)
        p.setInt32(task(lid::TaskActualEffort), *actualEffort);
    if (estimatedEffort)
        p.setInt32(task(lid::TaskEstimatedEffort), *estimatedEffort);
    if (complete)
        p.setBool(task(lid::TaskComplete), *complete);
    if (owner)
        p.setText(task(lid::TaskOwner), *owner);
    p.merge(props);
    return m;
}

MessageSpec JournalSpec::toMessage() const
{
    MessageSpec m;
    m.messageClass = QStringLiteral("IPM.Activity");
    m.subject = subject;
    if (!body.isEmpty())
        m.body = body;
    m.created = start;
    Props &p = m.props;
    textIf(p, logp(lid::LogType), type);
    textIf(p, logp(lid::LogTypeDesc), typeDescription.isEmpty() ? type : typeDescription);
    if (start.isValid())
        p.setTime(logp(lid::LogStart), start);
    if (end.isValid())
        p.setTime(logp(lid::LogEnd), end);
    if (durationMinutes)
        p.setInt32(logp(lid::LogDuration), *durationMinutes);
    p.merge(props);
    return m;
}

MessageSpec NoteSpec::toMessage() const
{
    MessageSpec m;
    m.messageClass = QStringLiteral("IPM.StickyNote");
    m.subject = subject;
    if (!body.isEmpty())
        m.body = body;
    m.created = created;
    m.modified = modified;
    Props &p = m.props;
    p.setInt32(PropKey::named(pset::note(), lid::NoteColor), color);
    p.setInt32(PropKey::named(pset::note(), lid::NoteWidth), 200);
    p.setInt32(PropKey::named(pset::note(), lid::NoteHeight), 166);
    p.merge(props);
    return m;
}

} // namespace pstw
