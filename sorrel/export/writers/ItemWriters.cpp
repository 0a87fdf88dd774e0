#include "sorrel/export/writers/ItemWriters.h"

#include "sorrel/items/PstTextDecoding.h"

#include <QByteArrayList>
#include <QString>

#include <cstring>

using writersupport::ContentLines;
using writersupport::escapeText;
using writersupport::plainValue;
using writersupport::utf8Of;

namespace itemwriters {

namespace {

QByteArray icalTime(const FILETIME* ft)
{
    char buf[64] = {};
    pst_rfc2445_datetime_format(ft, int(sizeof buf), buf);
    return plainValue(buf);
}

QByteArray icalNow()
{
    char buf[64] = {};
    pst_rfc2445_datetime_format_now(int(sizeof buf), buf);
    return plainValue(buf);
}

// Adds "NAME:value" with the escaped text when the string is present.
void textLine(ContentLines& lines, const char* name, pst_item* item, pst_string& str)
{
    const QByteArray value = utf8Of(item, str);
    if (!value.isEmpty())
        lines.addText(name, value);
}

// Adds "NAME:value" with control characters dropped when present.
void plainLine(ContentLines& lines, const char* name, pst_item* item, pst_string& str)
{
    const QByteArray value = utf8Of(item, str);
    if (!value.isEmpty())
        lines.add(name, plainValue(value));
}

// Structured value: each component escaped, joined by ";".
QByteArray components(pst_item* item, std::initializer_list<pst_string*> parts)
{
    QByteArray out;
    bool first = true;
    for (pst_string* part : parts) {
        if (!first)
            out += ';';
        first = false;
        if (part)
            out += escapeText(utf8Of(item, *part));
    }
    return out;
}

void address(ContentLines& lines, pst_item* item, const char* type, pst_string& label, pst_string& poBox,
             pst_string& street, pst_string& city, pst_string& state, pst_string& postalCode, pst_string& country)
{
    if (utf8Of(item, label).isEmpty())
        return;
    lines.add(QByteArray("ADR;TYPE=") + type,
              components(item, {&poBox, nullptr, &street, &city, &state, &postalCode, &country}));
    lines.addText(QByteArray("LABEL;TYPE=") + type, utf8Of(item, label));
}

// The assistant as the contact's agent: a small card inside a text value,
// so its name and number do not read as the contact's own.
void agent(ContentLines& lines, pst_item* item, pst_item_contact* c)
{
    const QByteArray name = utf8Of(item, c->assistant_name);
    const QByteArray phone = utf8Of(item, c->assistant_phone);
    if (name.isEmpty() && phone.isEmpty())
        return;
    QByteArray card("BEGIN:VCARD\nVERSION:3.0\n");
    card += "FN:" + escapeText(name) + '\n';
    if (!phone.isEmpty())
        card += "TEL:" + plainValue(phone) + '\n';
    card += "END:VCARD\n";
    lines.addText("AGENT", card);
}

void calendarHead(ContentLines& lines)
{
    lines.add("BEGIN:VCALENDAR");
    lines.add("VERSION:2.0");
    lines.add("PRODID", writersupport::productId());
}

// DTSTAMP, CREATED, LAST-MODIFIED, SUMMARY and DESCRIPTION.
void commonLines(ContentLines& lines, pst_item* item)
{
    lines.add("DTSTAMP", item->create_date ? icalTime(item->create_date) : icalNow());
    if (item->create_date)
        lines.add("CREATED", icalTime(item->create_date));
    if (item->modify_date)
        lines.add("LAST-MODIFIED", icalTime(item->modify_date));
    textLine(lines, "SUMMARY", item, item->subject);
    textLine(lines, "DESCRIPTION", item, item->body);
}

void recurrenceRule(ContentLines& lines, pst_item_appointment* a)
{
    pst_recurrence* r = pst_convert_recurrence(a);
    if (!r)
        return;
    static const char* const frequencies[] = {"DAILY", "WEEKLY", "MONTHLY", "YEARLY"};
    static const char* const days[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
    if (r->type < 4) {
        QByteArray rule = QByteArray("FREQ=") + frequencies[r->type];
        // A recurrence that never ends still carries a nominal count.
        if (r->count && r->termination != 2)
            rule += ";COUNT=" + QByteArray::number(r->count);
        if (r->interval > 1)
            rule += ";INTERVAL=" + QByteArray::number(r->interval);
        if (r->dayofmonth)
            rule += ";BYMONTHDAY=" + QByteArray::number(r->dayofmonth);
        if (r->monthofyear)
            rule += ";BYMONTH=" + QByteArray::number(r->monthofyear);
        if (r->position)
            rule += ";BYSETPOS=" + QByteArray::number(r->position);
        if (r->bydaymask) {
            QByteArrayList set;
            for (int bit = 0; bit < 7; ++bit) {
                if (r->bydaymask & (1u << bit))
                    set << days[bit];
            }
            rule += ";BYDAY=" + set.join(',');
        }
        lines.add("RRULE", rule);
    }
    pst_free_recurrence(r);
}

void appointmentLines(ContentLines& lines, pst_item* item, pst_item_appointment* a)
{
    if (a->start)
        lines.add("DTSTART;VALUE=DATE-TIME", icalTime(a->start));
    if (a->end)
        lines.add("DTEND;VALUE=DATE-TIME", icalTime(a->end));
    textLine(lines, "LOCATION", item, a->location);
    switch (a->showas) {
    case PST_FREEBUSY_FREE:
        lines.add("TRANSP:TRANSPARENT");
        lines.add("STATUS:CONFIRMED");
        break;
    case PST_FREEBUSY_TENTATIVE:
        lines.add("STATUS:TENTATIVE");
        break;
    case PST_FREEBUSY_BUSY:
    case PST_FREEBUSY_OUT_OF_OFFICE:
        lines.add("STATUS:CONFIRMED");
        break;
    default:
        break;
    }
    if (a->is_recurring)
        recurrenceRule(lines, a);
    static const char* const labels[] = {"IMPORTANT", "BUSINESS", "PERSONAL", "VACATION", "MUST-ATTEND",
                                         "TRAVEL-REQUIRED", "NEEDS-PREPARATION", "BIRTHDAY", "ANNIVERSARY",
                                         "PHONE-CALL"};
    if (a->label == PST_APP_LABEL_NONE)
        writeExtraCategories(lines, item);
    else if (a->label >= 1 && a->label <= 10)
        lines.add("CATEGORIES", labels[a->label - 1]);
    if (a->alarm && uint32_t(a->alarm_minutes) <= 1439) {
        lines.add("BEGIN:VALARM");
        lines.add("TRIGGER", "-PT" + QByteArray::number(a->alarm_minutes) + 'M');
        lines.add("ACTION:DISPLAY");
        lines.add("DESCRIPTION:Reminder");
        lines.add("END:VALARM");
    }
}

} // namespace

bool writeExtraCategories(ContentLines& lines, pst_item* item)
{
    QByteArrayList keywords;
    for (pst_item_extra_field* f = item ? item->extra_fields : nullptr; f; f = f->next) {
        if (f->field_name && f->value && std::strcmp(f->field_name, "Keywords") == 0)
            keywords << escapeText(f->value);
    }
    if (keywords.isEmpty())
        return false;
    lines.add("CATEGORIES", keywords.join(','));
    return true;
}

QByteArray vcardText(pst_item* item)
{
    pst_item_contact* c = item ? item->contact : nullptr;
    if (!c)
        return {};
    ContentLines lines;
    lines.add("BEGIN:VCARD");
    lines.add("VERSION:3.0");
    lines.addText("FN", utf8Of(item, c->fullname));
    lines.add("N", components(item, {&c->surname, &c->first_name, &c->middle_name, &c->display_name_prefix,
                                     &c->suffix}));
    textLine(lines, "NICKNAME", item, c->nickname);
    textLine(lines, "EMAIL", item, c->address1);
    textLine(lines, "EMAIL", item, c->address2);
    textLine(lines, "EMAIL", item, c->address3);
    if (c->birthday) {
        char buf[64] = {};
        pst_rfc2425_datetime_format(c->birthday, int(sizeof buf), buf);
        lines.add("BDAY", plainValue(buf));
    }
    address(lines, item, "home", c->home_address, c->home_po_box, c->home_street, c->home_city, c->home_state,
            c->home_postal_code, c->home_country);
    address(lines, item, "work", c->business_address, c->business_po_box, c->business_street, c->business_city,
            c->business_state, c->business_postal_code, c->business_country);
    address(lines, item, "postal", c->other_address, c->other_po_box, c->other_street, c->other_city,
            c->other_state, c->other_postal_code, c->other_country);
    const std::pair<const char*, pst_string*> phones[] = {
        {"TEL;TYPE=work,fax", &c->business_fax},   {"TEL;TYPE=work,voice", &c->business_phone},
        {"TEL;TYPE=work,voice", &c->business_phone2}, {"TEL;TYPE=car,voice", &c->car_phone},
        {"TEL;TYPE=home,fax", &c->home_fax},       {"TEL;TYPE=home,voice", &c->home_phone},
        {"TEL;TYPE=home,voice", &c->home_phone2},  {"TEL;TYPE=isdn", &c->isdn_phone},
        {"TEL;TYPE=cell,voice", &c->mobile_phone}, {"TEL;TYPE=msg", &c->other_phone},
        {"TEL;TYPE=pager", &c->pager_phone},       {"TEL;TYPE=fax,pref", &c->primary_fax},
        {"TEL;TYPE=phone,pref", &c->primary_phone}, {"TEL;TYPE=pcs", &c->radio_phone},
        {"TEL;TYPE=bbs", &c->telex},
    };
    for (const auto& [name, value] : phones)
        plainLine(lines, name, item, *value);
    textLine(lines, "TITLE", item, c->job_title);
    textLine(lines, "ROLE", item, c->profession);
    agent(lines, item, c);
    if (!utf8Of(item, c->company_name).isEmpty() || !utf8Of(item, c->department).isEmpty())
        lines.add("ORG", components(item, {&c->company_name, &c->department}));
    textLine(lines, "NOTE", item, item->comment);
    textLine(lines, "NOTE", item, item->body);
    writeExtraCategories(lines, item);
    lines.add("END:VCARD");
    return lines.text() + lines.eol();
}

void writeAppointment(ContentLines& lines, pst_item* item, const QByteArray& storeKey)
{
    lines.add("UID", plainValue(writersupport::itemUid(item, storeKey)));
    commonLines(lines, item);
    if (item->appointment)
        appointmentLines(lines, item, item->appointment);
    lines.add("END:VEVENT");
}

QByteArray appointmentText(pst_item* item, const QByteArray& storeKey)
{
    if (!item)
        return {};
    ContentLines lines;
    calendarHead(lines);
    lines.add("BEGIN:VEVENT");
    writeAppointment(lines, item, storeKey);
    lines.add("END:VCALENDAR");
    return lines.text();
}

QByteArray journalText(pst_item* item, const QByteArray& storeKey)
{
    if (!item)
        return {};
    ContentLines lines;
    calendarHead(lines);
    lines.add("BEGIN:VJOURNAL");
    lines.add("UID", plainValue(writersupport::itemUid(item, storeKey)));
    commonLines(lines, item);
    if (item->journal && item->journal->start)
        lines.add("DTSTART;VALUE=DATE-TIME", icalTime(item->journal->start));
    lines.add("END:VJOURNAL");
    lines.add("END:VCALENDAR");
    return lines.text();
}

QByteArray noteText(pst_item* item)
{
    if (!item)
        return {};
    QByteArray text;
    text += filetimeText(item->create_date).toUtf8() + '\n';
    text += filetimeText(item->modify_date).toUtf8() + '\n';
    text += decodeText(item, item->subject).toUtf8() + '\n';
    QString body = decodeText(item, item->body);
    if (!body.isEmpty()) {
        body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        if (!body.endsWith(QLatin1Char('\n')))
            body += QLatin1Char('\n');
        text += body.toUtf8();
    }
    return text;
}

QByteArray meetingRequestCalendar(pst_item* item, const QByteArray& organizerName, const QByteArray& organizerAddress,
                                  const QByteArray& storeKey)
{
    ContentLines lines("\n");
    calendarHead(lines);
    lines.add("METHOD:REQUEST");
    lines.add("BEGIN:VEVENT");
    // A parameter value cannot hold a double quote.
    QByteArray name = plainValue(organizerName);
    name.replace('"', "");
    lines.add("ORGANIZER;CN=\"" + name + "\":MAILTO:" + plainValue(organizerAddress));
    writeAppointment(lines, item, storeKey);
    lines.add("END:VCALENDAR");
    return lines.text();
}

} // namespace itemwriters
