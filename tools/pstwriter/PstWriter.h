// PstWriter: writes Outlook personal folder files (.pst) whose content is
// known exactly, for tests, benchmarks and the demo mailbox.
//
//   #include "PstWriter.h"
//   using namespace pstw;
//
//   PstWriter w(path, PstFormat::Unicode, PstEncryption::None);   // or Ansi / Compressible
//   FolderId inbox = w.addFolder(w.ipmSubtree(), "Inbox", "IPF.Note");
//   FolderId sub   = w.addFolder(inbox, "Projects");                // nested to any depth
//
//   MessageSpec m;                       // a mail ("IPM.Note" unless messageClass says otherwise)
//   m.subject = "Hello"; m.body = "Plain body"; m.html = "<p>Hi <img src=\"cid:logo\"></p>";
//   m.senderName = "Ann"; m.senderEmail = "ann@example.com";
//   m.sent = m.received = QDateTime(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC);
//   m.recipients = {{"Bob", "bob@example.com"}, {"Cy", "cy@example.com", Recipient::Cc}};
//   m.attachments.push_back(AttachmentSpec::file("logo.png", pngBytes, "image/png", "logo"));
//   m.props.setInt32(tag::Importance, 2);                              // any property by id
//   m.props.setInt32(PropKey::named(pset::task(), lid::TaskStatus), 1);  // named (GUID, LID)
//   m.props.setText(PropKey::named(pset::publicStrings(), "X-Custom"), "v"); // named (GUID, name)
//   MessageId id = w.addMessage(inbox, m);   // id = libpst's d_id of the message
//
//   w.addContact(contacts, ContactSpec{...}); w.addAppointment(...); w.addTask(...);
//   w.addJournal(...); w.addNote(...);      // builders for the other item kinds
//   w.addAssociatedMessage(inbox, m);        // hidden folder data (node type 8)
//   w.addFolder(parent, "Hidden", "IPF.Note", Props().setBool(tag::AttrHidden, true));
//   bool ok = w.finish();                    // also done by the destructor
//
// Messages are written to disk as they are added; only the folder tables
// (one short row per message) stay in memory until finish().
// libpst hands a message's attachments out last first.
// Odd values: Props::setRaw(key, type, bytes) stores any type with any bytes.
// Strings: setText writes PT_UNICODE in Unicode files and PT_STRING8 (in the
// writer's ANSI code page, Windows-1252 unless setAnsiCodepage says otherwise)
// in ANSI files; setString8(key, text, "GBK") encodes in the given code page
// and setString8(key, bytes) stores bytes as they are.
#pragma once

#include "PstTags.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace pstw {

enum class PstFormat { Unicode, Ansi };
enum class PstEncryption { None, Compressible };

using FolderId = uint32_t;   // node id of a folder (libpst d_id)
using MessageId = uint32_t;  // node id of a message (libpst d_id)

// A property key: a plain 16-bit id, or a named property that the writer
// maps to an id of 0x8000 and above through the file's name-to-id map.
struct PropKey {
    PropKey(uint16_t propId = 0) : id(propId) {}
    PropKey(int propId) : id(uint16_t(propId)) {}
    static PropKey named(const QUuid &guid, uint32_t lid);
    static PropKey named(const QUuid &guid, const QString &name);

    uint16_t id = 0;
    bool isNamed = false;
    bool isString = false;
    QUuid guid;
    uint32_t lid = 0;
    QString name;
    bool operator==(const PropKey &o) const;
};

// A set of properties; a later set() of the same key replaces the value.
class Props {
public:
    Props &setInt16(const PropKey &k, int16_t v);
    Props &setInt32(const PropKey &k, int32_t v);
    Props &setInt64(const PropKey &k, int64_t v);
    Props &setBool(const PropKey &k, bool v);
    Props &setDouble(const PropKey &k, double v);
    Props &setTime(const PropKey &k, const QDateTime &t);   // PT_SYSTIME
    Props &setFiletime(const PropKey &k, uint64_t filetime);
    Props &setText(const PropKey &k, const QString &s);
    Props &setUnicode(const PropKey &k, const QString &s);
    Props &setString8(const PropKey &k, const QByteArray &bytes);
    Props &setString8(const PropKey &k, const QString &s, const char *codepage);
    Props &setBinary(const PropKey &k, const QByteArray &b);
    Props &setGuid(const PropKey &k, const QUuid &g);
    Props &setRaw(const PropKey &k, uint16_t type, const QByteArray &bytes);
    Props &remove(const PropKey &k);
    void merge(const Props &other);   // other's values win
    bool contains(const PropKey &k) const;
    bool isEmpty() const { return entries.empty(); }

    struct Entry {
        PropKey key;
        uint16_t type = 0;
        QByteArray data;
        bool autoText = false;   // setText: type decided by the file format
        QString text;
    };
    std::vector<Entry> entries;

private:
    Props &put(Entry e);
};

struct Recipient {
    enum Type { To = 1, Cc = 2, Bcc = 3 };
    QString name;
    QString email;
    Type type = To;
    QString addressType = QStringLiteral("SMTP");
};

struct MessageSpec;

struct AttachmentSpec {
    QString fileName;       // long file name
    QString shortName;      // 8.3 name; derived from fileName when empty
    QString mimeType;
    QString contentId;
    QByteArray data;
    std::shared_ptr<MessageSpec> embedded;   // set: an embedded message (method 5)
    bool noFileName = false;                 // write neither file name
    Props props;                             // extra or overriding properties

    static AttachmentSpec file(const QString &name, const QByteArray &data, const QString &mime = {},
                               const QString &contentId = {});
    static AttachmentSpec message(const MessageSpec &m, const QString &displayName = {});
};

struct MessageSpec {
    QString messageClass = QStringLiteral("IPM.Note");
    QString subject;
    std::optional<QString> body;     // PR_BODY
    std::optional<QByteArray> html;  // PR_HTML (bytes as given)
    std::optional<QByteArray> rtf;   // plain RTF text, stored compressed (PR_RTF_COMPRESSED)
    QString senderName;
    QString senderEmail;
    QDateTime sent;                  // PR_CLIENT_SUBMIT_TIME
    QDateTime received;              // PR_MESSAGE_DELIVERY_TIME
    QDateTime created;               // defaults to sent
    QDateTime modified;              // defaults to created
    QList<Recipient> recipients;
    std::vector<AttachmentSpec> attachments;
    bool read = true;
    QString messageId;               // PR_INTERNET_MESSAGE_ID
    Props props;                     // written last: overrides the fields above
};
using MailSpec = MessageSpec;

struct ContactSpec {
    QString givenName, surname, fileUnder, company, department, jobTitle;
    QString email1, email2, email3;
    QString businessPhone, homePhone, mobilePhone, carPhone, otherPhone, callbackPhone, companyPhone;
    QString primaryFax, businessFax, homeFax;
    QString homeAddress, businessAddress, otherAddress;
    QString businessHomePage, personalHomePage;
    QString note;
    Props props;
    MessageSpec toMessage() const;
};

struct Recurrence {
    enum Kind { Daily, Weekly, Monthly, Yearly };
    Kind kind = Weekly;
    int interval = 1;        // every n days / weeks / months / years
    int occurrences = 10;    // 0: no end
    QString description;     // PidLidRecurrencePattern, e.g. "every Monday"
};

struct AppointmentSpec {
    QString subject, location, body;
    QDateTime start, end;
    bool allDay = false;
    std::optional<Recurrence> recurrence;
    QString organizerName, organizerEmail;
    QList<Recipient> attendees;
    bool meetingRequest = false;   // class IPM.Schedule.Meeting.Request instead of IPM.Appointment
    Props props;
    MessageSpec toMessage() const;
};

// Unset optionals leave the property out of the file.
struct TaskSpec {
    QString subject, body;
    std::optional<QDateTime> start, due, completed;
    std::optional<double> percentComplete;   // 0.0 .. 1.0
    std::optional<int> status;               // 0 not started .. 4 deferred
    std::optional<int> actualEffort, estimatedEffort;   // minutes
    std::optional<bool> complete;
    std::optional<QString> owner;
    Props props;
    MessageSpec toMessage() const;
};

struct JournalSpec {
    QString subject, body;
    QString type = QStringLiteral("Phone call");   // PidLidLogType
    QString typeDescription;                       // PidLidLogTypeDesc
    QDateTime start, end;
    std::optional<int> durationMinutes;            // PidLidLogDuration
    Props props;
    MessageSpec toMessage() const;
};

struct NoteSpec {
    QString subject, body;
    int color = 3;   // 0 blue, 1 green, 2 pink, 3 yellow, 4 white
    QDateTime created, modified;
    Props props;
    MessageSpec toMessage() const;
};

// Compressed RTF ("LZFu") of the given RTF text.
QByteArray compressRtf(const QByteArray &rtf);
// FILETIME (100 ns since 1601) of a date-time.
uint64_t toFiletime(const QDateTime &t);

class PstWriter {
public:
    PstWriter(const QString &path, PstFormat format = PstFormat::Unicode,
              PstEncryption encryption = PstEncryption::None,
              const QString &storeName = QStringLiteral("Personal Folders"));
    ~PstWriter();
    PstWriter(const PstWriter &) = delete;
    PstWriter &operator=(const PstWriter &) = delete;

    bool isOk() const;               // false after an I/O error
    QString errorString() const;
    PstFormat format() const;
    void setAnsiCodepage(const char *iconvName);   // code page of setText in ANSI files

    FolderId rootFolder() const;     // the root folder (its children: IPM subtree, search root)
    FolderId ipmSubtree() const;     // "Top of Personal Folders"
    FolderId deletedItems() const;   // "Deleted Items", inside the IPM subtree

    FolderId addFolder(FolderId parent, const QString &name,
                       const QString &containerClass = QStringLiteral("IPF.Note"), const Props &extra = {});
    MessageId addMessage(FolderId folder, const MessageSpec &m);
    MessageId addMail(FolderId folder, const MessageSpec &m) { return addMessage(folder, m); }
    MessageId addContact(FolderId folder, const ContactSpec &c) { return addMessage(folder, c.toMessage()); }
    MessageId addAppointment(FolderId folder, const AppointmentSpec &a) { return addMessage(folder, a.toMessage()); }
    MessageId addTask(FolderId folder, const TaskSpec &t) { return addMessage(folder, t.toMessage()); }
    MessageId addJournal(FolderId folder, const JournalSpec &j) { return addMessage(folder, j.toMessage()); }
    MessageId addNote(FolderId folder, const NoteSpec &n) { return addMessage(folder, n.toMessage()); }
    // A folder-associated message (node type 8, listed in the folder's
    // associated contents table): views, rules, configuration data that
    // Outlook keeps with a folder and never shows as an item.
    MessageId addAssociatedMessage(FolderId folder, const MessageSpec &m);

    // A bare node in the node b-tree with any id and parent id (which need
    // not exist), its data block holding the given bytes (none when empty).
    // For files with unusual descriptor trees; nid must be none the writer
    // uses itself (folders and messages are types 0x02 and 0x04 from index
    // 0x400 and 0x10000 up).
    void addRawNode(uint32_t nid, uint32_t parentNid, const QByteArray &data = {});

    // Writes folders, tables, the name map, b-trees, maps and header; closes the file.
    bool finish();

    // Messages added so far (embedded and associated ones not counted).
    int messageCount() const;

    // The id a named property got in this file (0x8000 + index), 0 if unused.
    uint16_t namedPropertyId(const PropKey &key) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace pstw
