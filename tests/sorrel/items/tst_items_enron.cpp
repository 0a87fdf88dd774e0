// Every object of the real-world mailbox turned into records: each kind that
// occurs there keeps to its keys, and loading by id gives the same record.

#include "sorrel/items/PstItemFactory.h"
#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstItemKinds.h"
#include "sorrel/items/PstMailItem.h"

#include <QtTest>

#include <QSet>

namespace {

const QHash<PstItemKind, QSet<QString>>& keysByKind()
{
    using namespace PstKey;
    static const QHash<PstItemKind, QSet<QString>> keys = {
        {PstItemKind::Mail,
         {Subject, Sender, SenderAddr, Recipients, Cc, Bcc, SentDate, ArrivalDate, ReportTime}},
        {PstItemKind::Contact,
         {FullName, FirstName, Surname, CompanyName, Department, JobTitle, OtherPhone, CarPhone,
          CallbackPhone, MobilePhone, HomePhone, BusinessPhone, CompanyPhone, PrimaryFax, BusinessFax, HomeFax,
          OtherAddress, BusinessAddress, HomeAddress, PrimaryEmail, SecondaryEmail, TertiaryEmail, BusinessPage,
          PersonalPage}},
        {PstItemKind::Calendar, {Subject, Location, StartDate, EndDate, RecurrenceDescription}},
        {PstItemKind::Journal, {Subject, StartTime, EndTime, Type, Description}},
        {PstItemKind::Note, {Subject, CreateDate, ModifyDate}},
        {PstItemKind::Task, {Subject, Owner, StartDate, DueDate, CompletedDate}},
    };
    return keys;
}

} // namespace

class TestItemsEnron : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyObject();
    void byId();
    void attachmentBytes();

private:
    void walk(pst_desc_tree* node);

    PstFileHandle m_handle;
    QHash<PstItemKind, int> m_counts;
    QSet<QString> m_seenKeys;
    int m_objects = 0;
    int m_declined = 0;
    int m_folders = 0;
    int m_withBody = 0;
    QList<PstItemPtr> m_samples;  // one record of each kind
    std::shared_ptr<PstMailItem> m_mailWithAttachment;
};

void TestItemsEnron::initTestCase()
{
    const QByteArray path = qgetenv("MARROWIN_ENRON_PST");
    QVERIFY2(!path.isEmpty() && QFile::exists(QString::fromLocal8Bit(path)), "enron.pst fixture missing");
    m_handle = makePstFileHandle();
    QMutexLocker lock(&pstLibraryMutex());
    QCOMPARE(pst_open(m_handle.get(), path.constData(), nullptr), 0);
    QCOMPARE(pst_load_index(m_handle.get()), 0);
    QCOMPARE(pst_load_extended_attributes(m_handle.get()), 1);
}

void TestItemsEnron::walk(pst_desc_tree* node)
{
    for (; node; node = node->next) {
        ++m_objects;
        PstItemPtr record;
        {
            QMutexLocker lock(&pstLibraryMutex());
            pst_item* item = pst_parse_item(m_handle.get(), node, nullptr);
            if (item) {
                record = createItemRecord(m_handle.get(), node, item);
                m_folders += item->folder ? 1 : 0;
                pst_freeItem(item);
            }
        }
        if (!record) {
            ++m_declined;
        } else {
            const PstItemKind kind = record->kind();
            if (!m_counts.contains(kind))
                m_samples << record;
            ++m_counts[kind];
            const QSet<QString> allowed = keysByKind().value(kind);
            for (const QString& key : record->fields().keys()) {
                QVERIFY2(allowed.contains(key), qPrintable(key));
                m_seenKeys << key;
            }
            // Each record stands alone holding the file, so that it can read
            // its body again.
            record->setDescriptor(node);
            record->setDocument(m_handle);
            // Derived texts must hold up on real data.
            QVERIFY(!record->iconPath().isEmpty());
            record->searchText();
            record->fieldText(PstSearchField::Body);
            record->durationText();
            record->infoSections(record->loadBody());
            m_withBody += record->loadBody().isEmpty() ? 0 : 1;
            if (auto mail = std::dynamic_pointer_cast<PstMailItem>(record)) {
                QCOMPARE(mail->id(), node->d_id);
                QVERIFY2(!mail->senderAddr().startsWith(QLatin1String("SMTP:")), qPrintable(mail->senderAddr()));
                if (mail->hasAttachments() && !m_mailWithAttachment)
                    m_mailWithAttachment = mail;
            }
        }
        if (node->child)
            walk(node->child);
    }
}

void TestItemsEnron::everyObject()
{
    pst_desc_tree* top = nullptr;
    {
        QMutexLocker lock(&pstLibraryMutex());
        pst_item* root = pst_parse_item(m_handle.get(), m_handle->d_head, nullptr);
        QVERIFY(root);
        top = pst_getTopOfFolders(m_handle.get(), root);
        pst_freeItem(root);
    }
    QVERIFY(top);
    walk(top);
    qInfo() << "objects" << m_objects << "declined" << m_declined << "mail" << m_counts[PstItemKind::Mail]
            << "folders" << m_folders << "contacts" << m_counts[PstItemKind::Contact]
            << "appointments" << m_counts[PstItemKind::Calendar] << "tasks" << m_counts[PstItemKind::Task]
            << "journal" << m_counts[PstItemKind::Journal] << "notes" << m_counts[PstItemKind::Note];
    QVERIFY(m_counts[PstItemKind::Mail] >= 70);
    QVERIFY(m_folders > 5);
    QCOMPARE(m_counts.value(PstItemKind::Folder), 0);  // folders are no items
    // What every mailbox mail carries.
    for (const QString& key : {PstKey::Subject, PstKey::Sender, PstKey::Recipients, PstKey::SentDate})
        QVERIFY2(m_seenKeys.contains(key), qPrintable(key));
    QVERIFY(m_withBody >= 70);
}

void TestItemsEnron::byId()
{
    QVERIFY(!m_samples.isEmpty());
    for (const PstItemPtr& sample : m_samples) {
        const uint64_t id = sample->descriptor()->d_id;
        PstItemPtr again = loadItemById(m_handle, id);
        QVERIFY(again);
        QCOMPARE(again->kind(), sample->kind());
        QCOMPARE(again->fields(), sample->fields());
        QCOMPARE(again->depth(), 0);
        QCOMPARE(again->document(), m_handle);
        QCOMPARE(again->filePath(), QString::fromLocal8Bit(qgetenv("MARROWIN_ENRON_PST")));
    }
    QVERIFY(!loadItemById(m_handle, 0));
    QVERIFY(!loadItemById(m_handle, 0xFFFFFFF0));
    QVERIFY(!loadItemById(PstFileHandle(), 33));
}

void TestItemsEnron::attachmentBytes()
{
    if (!m_mailWithAttachment)
        QSKIP("no mail with a named attachment");
    // Any record of depth 0 can stand for the file node above the mail.
    auto file = std::make_shared<PstNoteItem>();
    file->setDocument(m_handle);
    auto mail = m_mailWithAttachment;
    mail->setDepth(1);
    file->addChild(mail);
    const Attachment& a = *mail->attachments().first();
    QVERIFY(!mail->loadAttachmentData(a).isEmpty());
    // Once the file node is gone the bytes cannot load.
    file.reset();
    QVERIFY(mail->loadAttachmentData(a).isEmpty());
}

QTEST_GUILESS_MAIN(TestItemsEnron)
#include "tst_items_enron.moc"
