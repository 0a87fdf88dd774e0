#include "sorrel/items/PstItemFactory.h"

#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstItemKinds.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/items/PstTextDecoding.h"
#include "sorrel/store/PstDescriptorIndex.h"
#include "sorrel/store/PstSafeParse.h"

#include <QMutexLocker>

#include <cmath>
#include <cstring>

namespace {

constexpr int kMaxEmbeddedNameLength = 120;

// "Base" itself or "Base.anything", ignoring letter case.
bool isClassOrSubclass(const char* cls, const char* base)
{
    const size_t n = std::strlen(base);
    return strncasecmp(cls, base, n) == 0 && (cls[n] == '\0' || cls[n] == '.');
}

bool hasText(const pst_string& s)
{
    return s.str && *s.str;
}

// Whether libpst names the mail's sender only by an Exchange directory path
// ("/O=...") or not at all: its SMTP address is then read from the item.
bool lacksSenderAddress(const pst_item* item)
{
    const char* addr = item->email ? item->email->sender_address.str : nullptr;
    return !addr || !*addr || strncasecmp(addr, "/O=", 3) == 0;
}

std::shared_ptr<PstItem> buildMail(pst_item* item, const PstExtraProperties& extra)
{
    pst_item_email* e = item->email;
    if (!e)
        return {};
    auto mail = std::make_shared<PstMailItem>();
    // The mail's own subject (PR_SUBJECT, "FW: ..." included); the
    // conversation topic only when it has none.
    mail->setTextField(item, hasText(item->subject) ? item->subject : e->processed_subject, PstKey::Subject);
    mail->setTextField(item, e->outlook_sender_name, PstKey::Sender);
    // libpst keeps PR_SENT_REPRESENTING_EMAIL_ADDRESS in sender_address;
    // outlook_sender is the binary search key ("SMTP:ANN@EXAMPLE.COM").
    mail->setTextField(item, e->sender_address, PstKey::SenderAddr);
    if (mail->senderAddr().isEmpty()) {
        for (const auto& smtp : {extra.sentRepresentingSmtpAddress, extra.senderSmtpAddress}) {
            if (smtp && !smtp->trimmed().isEmpty()) {
                QByteArray bytes = smtp->trimmed();  // NUL-terminated copy for the decoder
                mail->setTextField(item, pst_string{0, bytes.data()}, PstKey::SenderAddr);
                break;
            }
        }
    }
    mail->setTextField(item, e->sentto_address, PstKey::Recipients);
    mail->setTextField(item, e->cc_address, PstKey::Cc);
    mail->setTextField(item, e->bcc_address, PstKey::Bcc);
    mail->setDateField(e->sent_date, PstKey::SentDate);
    mail->setDateField(e->arrival_date, PstKey::ArrivalDate);
    mail->setDateField(e->report_time, PstKey::ReportTime);

    return mail;
}

// A message attached as such is named by its subject, made fit for a file
// name: no path separators or control characters, not overly long.
QString embeddedMessageName(pst_file* pf, pst_item_attach* attach)
{
    QString subject;
    if (pst_item* inner = pstParseEmbeddedChecked(pf, attach)) {
        const pst_string& s = hasText(inner->subject) || !inner->email ? inner->subject
                                                                       : inner->email->processed_subject;
        subject = decodeText(inner, s);
        pst_freeItem(inner);
    }
    for (QChar& c : subject) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
            c = QLatin1Char('_');
        else if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    subject = subject.simplified().left(kMaxEmbeddedNameLength);
    return (subject.isEmpty() ? QStringLiteral("message") : subject) + QStringLiteral(".eml");
}

// The item's attachments in libpst's order. One without any file name is
// skipped (the ones after it are still listed); a message attached as such
// is listed under its subject.
void addAttachments(PstItem& record, pst_file* pf, pst_item* item)
{
    int position = 0;
    for (pst_item_attach* a = item->attach; a; a = a->next, ++position) {
        auto att = std::make_shared<Attachment>();
        if (a->method == PST_ATTACH_EMBEDDED) {
            att->name = embeddedMessageName(pf, a);
            att->embeddedMessage = true;
        } else if (const pst_string* name = hasText(a->filename2)   ? &a->filename2
                                            : hasText(a->filename1) ? &a->filename1
                                                                    : nullptr) {
            att->name = decodeText(item, *name);
        } else {
            continue;
        }
        att->id = a->i_id;
        att->position = position;
        if (a->content_id.str)
            att->contentId = QString::fromUtf8(a->content_id.str);
        record.addAttachment(std::move(att));
    }
}

std::shared_ptr<PstItem> buildContact(pst_item* item)
{
    pst_item_contact* c = item->contact;
    if (!c)
        return {};
    using namespace PstKey;
    auto r = std::make_shared<PstContactItem>();
    r->setTextField(item, c->fullname, FullName);
    r->setTextField(item, c->first_name, FirstName);
    r->setTextField(item, c->surname, Surname);
    r->setTextField(item, c->company_name, CompanyName);
    r->setTextField(item, c->department, Department);
    r->setTextField(item, c->job_title, JobTitle);
    r->setTextField(item, c->other_phone, OtherPhone);
    r->setTextField(item, c->car_phone, CarPhone);
    r->setTextField(item, c->callback_phone, CallbackPhone);
    r->setTextField(item, c->mobile_phone, MobilePhone);
    r->setTextField(item, c->home_phone, HomePhone);
    r->setTextField(item, c->business_phone, BusinessPhone);
    r->setTextField(item, c->company_main_phone, CompanyPhone);
    r->setTextField(item, c->primary_fax, PrimaryFax);
    r->setTextField(item, c->business_fax, BusinessFax);
    r->setTextField(item, c->home_fax, HomeFax);
    r->setTextField(item, c->other_address, OtherAddress);
    r->setTextField(item, c->business_address, BusinessAddress);
    r->setTextField(item, c->home_address, HomeAddress);
    r->setTextField(item, c->address1, PrimaryEmail);
    r->setTextField(item, c->address2, SecondaryEmail);
    r->setTextField(item, c->address3, TertiaryEmail);
    r->setTextField(item, c->business_homepage, BusinessPage);
    r->setTextField(item, c->personal_homepage, PersonalPage);
    return r;
}

std::shared_ptr<PstItem> buildCalendar(pst_item* item)
{
    pst_item_appointment* a = item->appointment;
    if (!a)
        return {};
    auto r = std::make_shared<PstCalendarItem>();
    r->setTextField(item, item->subject, PstKey::Subject);
    r->setTextField(item, a->location, PstKey::Location);
    r->setDateField(a->start, PstKey::StartDate);
    r->setDateField(a->end, PstKey::EndDate);
    r->setTextField(item, a->recurrence_description, PstKey::RecurrenceDescription);
    r->setName(r->subject());
    return r;
}

std::shared_ptr<PstItem> buildJournal(pst_item* item, const PstExtraProperties& extra)
{
    pst_item_journal* j = item->journal;
    if (!j && !extra.journalDuration)
        return {};
    auto r = std::make_shared<PstJournalItem>();
    r->setTextField(item, item->subject, PstKey::Subject);
    if (j) {
        r->setDateField(j->start, PstKey::StartTime);
        r->setDateField(j->end, PstKey::EndTime);
        r->setTextField(item, j->type, PstKey::Type);
        r->setTextField(item, j->description, PstKey::Description);
    }
    r->setName(r->subject());
    r->setDuration(extra.journalDuration.value_or(0));
    return r;
}

std::shared_ptr<PstItem> buildNote(pst_item* item)
{
    auto r = std::make_shared<PstNoteItem>();
    r->setTextField(item, item->subject, PstKey::Subject);
    r->setDateField(item->create_date, PstKey::CreateDate);
    r->setDateField(item->modify_date, PstKey::ModifyDate);
    r->setName(r->subject());
    return r;
}

std::shared_ptr<PstItem> buildTask(pst_item* item, const PstExtraProperties& extra)
{
    auto r = std::make_shared<PstTaskItem>();
    const PstTaskRecord* t = extra.task ? &*extra.task : nullptr;
    r->setTextField(item, item->subject, PstKey::Subject);
    if (t && t->owner) {
        QByteArray owner = *t->owner;  // NUL-terminated copy for the decoder
        pst_string s{0, owner.data()};
        r->setTextField(item, s, PstKey::Owner);
    }
    if (t) {
        r->setDateField(t->start ? &*t->start : nullptr, PstKey::StartDate);
        r->setDateField(t->due ? &*t->due : nullptr, PstKey::DueDate);
        r->setDateField(t->completed ? &*t->completed : nullptr, PstKey::CompletedDate);
    }
    r->setName(r->subject());
    if (t) {
        r->setComplete(t->complete != 0);
        r->setStatus(t->status);
        r->setActualEffort(t->actualEffort);
        r->setEstimatedEffort(t->estimatedEffort);
        const double percent = std::trunc(t->percentComplete * 100.0);
        r->setPercentComplete(std::isfinite(percent) && std::fabs(percent) < 2147483647.0 ? int32_t(percent) : 0);
    }
    return r;
}

} // namespace

PstMessageClassKind pstClassifyMessageClass(const char* cls)
{
    if (!cls)
        return PstMessageClassKind::None;
    if (isClassOrSubclass(cls, "IPM.Contact"))
        return PstMessageClassKind::Contact;
    if (isClassOrSubclass(cls, "IPM.Activity"))
        return PstMessageClassKind::Journal;
    if (isClassOrSubclass(cls, "IPM.Appointment"))
        return PstMessageClassKind::Calendar;
    if (isClassOrSubclass(cls, "IPM.StickyNote"))
        return PstMessageClassKind::Note;
    if (isClassOrSubclass(cls, "IPM.Task"))
        return PstMessageClassKind::Task;
    return PstMessageClassKind::Mail;
}

std::shared_ptr<PstItem> pstBuildItem(pst_file* pf, pst_desc_tree* d, pst_item* item,
                                      const PstExtraProperties& extra)
{
    if (!item || item->folder)
        return {};
    std::shared_ptr<PstItem> record;
    switch (pstClassifyMessageClass(item->ascii_type)) {
    case PstMessageClassKind::None: break;
    case PstMessageClassKind::Mail: record = buildMail(item, extra); break;
    case PstMessageClassKind::Contact: record = buildContact(item); break;
    case PstMessageClassKind::Journal: record = buildJournal(item, extra); break;
    case PstMessageClassKind::Calendar: record = buildCalendar(item); break;
    case PstMessageClassKind::Note: record = buildNote(item); break;
    case PstMessageClassKind::Task: record = buildTask(item, extra); break;
    }
    // Every kind carries its descriptor id (the key that finds it again)
    // and its attachments.
    if (record) {
        record->setId(d ? d->d_id : 0);
        addAttachments(*record, pf, item);
    }
    return record;
}

std::shared_ptr<PstItem> createItemRecord(pst_file* pf, pst_desc_tree* d, pst_item* item)
{
    if (!item || item->folder)
        return {};
    PstExtraProperties extra;
    if (pf && d) {
        const PstMessageClassKind k = pstClassifyMessageClass(item->ascii_type);
        if (k == PstMessageClassKind::Task || k == PstMessageClassKind::Journal
            || (k == PstMessageClassKind::Mail && lacksSenderAddress(item)))
            extra = pstReadExtraProperties(pf, d);
    }
    return pstBuildItem(pf, d, item, extra);
}

std::shared_ptr<PstItem> loadItemById(const PstFileHandle& handle, uint64_t id)
{
    if (!handle || id == 0)
        return {};
    QMutexLocker lock(&pstLibraryMutex());
    pst_file* pf = handle.get();
    pst_desc_tree* d = pstFindDescriptor(pf, id);
    if (!d)
        return {};
    pst_item* item = pstParseItemChecked(pf, d);
    if (!item)
        return {};
    std::shared_ptr<PstItem> record = createItemRecord(pf, d, item);
    pst_freeItem(item);
    if (!record)
        return {};
    record->setDescriptor(d);
    record->setDocument(handle);
    record->setDepth(0);
    record->setFilePath(QString::fromLocal8Bit(pf->fname));
    return record;
}
