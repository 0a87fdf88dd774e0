#pragma once
// The texts of contacts (vCard 3.0), appointments (iCalendar VEVENT),
// journal entries (iCalendar VJOURNAL) and sticky notes (plain text), each
// made from one parsed libpst item. vCard and iCalendar texts end their
// lines in CRLF and fold them at 75 octets. Call with pstLibraryMutex()
// held: the writers convert the item's strings in place.

#include "sorrel/export/writers/WriterSupport.h"

#include <libpst/libpst.h>

#include <QByteArray>

namespace itemwriters {

// The contact's card; empty when the item has no contact part.
QByteArray vcardText(pst_item* item);

// A calendar with the appointment's event; the item needs no appointment
// part (the event then has no times).
QByteArray appointmentText(pst_item* item, const QByteArray& storeKey);

// A calendar with the journal entry.
QByteArray journalText(pst_item* item, const QByteArray& storeKey);

// The sticky note: its creation time, its modification time (local time,
// empty when absent), its subject, then its body; lines end in "\n".
QByteArray noteText(pst_item* item);

// The event of an appointment or meeting request, from "UID:" to
// "END:VEVENT".
void writeAppointment(writersupport::ContentLines& lines, pst_item* item, const QByteArray& storeKey);

// "CATEGORIES:" with the item's keywords joined by ","; false (and nothing
// written) when it has none.
bool writeExtraCategories(writersupport::ContentLines& lines, pst_item* item);

// The calendar carried by a meeting-request mail (METHOD:REQUEST, with the
// organizer's name and address), its lines ended in "\n" like the mail's.
QByteArray meetingRequestCalendar(pst_item* item, const QByteArray& organizerName, const QByteArray& organizerAddress,
                                  const QByteArray& storeKey);

} // namespace itemwriters
