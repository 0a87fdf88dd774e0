// The item list (roles, sorting, sort menu, row heights), the detail pages
// and the attachment file names, without a web engine.

#include "PstWriter.h"
#include "sorrel/items/PstItemFactory.h"
#include "sorrel/items/PstItemKeys.h"
#include "sorrel/items/PstItemKinds.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/items/PstTextDecoding.h"
#include "sorrel/store/PstDocument.h"
#include "sorrel/views/ListViewSortMenu.h"
#include "sorrel/views/PSTListView.h"
#include "sorrel/views/PstAttachmentActions.h"
#include "sorrel/views/PstAttachmentNames.h"
#include "sorrel/views/PstInfoView.h"
#include "sorrel/views/PstListController.h"
#include "sorrel/views/PstListModel.h"
#include "sorrel/views/PstListViewDelegate.h"
#include "WrittenMail.h"

#include <QActionGroup>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QPainter>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>

using namespace PstListRoles;

namespace {

std::shared_ptr<PstMailItem> mail(const QString& sender, const QString& subject, qint64 sent)
{
    auto m = std::make_shared<PstMailItem>();
    m->setField(PstKey::Sender, sender);
    m->setField(PstKey::Subject, subject);
    if (sent)
        m->setField(PstKey::SentDate, sent);
    return m;
}

QStringList titles(const QAbstractItemModel* m)
{
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, 0).data(SubjectRole).toString();
    return out;
}

} // namespace

class TestViews : public QObject
{
    Q_OBJECT

private slots:
    void listRoles();
    void sortAndSelect();
    void sortMenu();
    void rowHeightsAndPainting();
    void infoView();
    void attachmentFileNames_data();
    void attachmentFileNames();
    void saveAllStaysInFolder();
    void attachedMessagesSaveAsEml();
    void inlineImagesAndRealAttachments();
};

void TestViews::listRoles()
{
    const qint64 sent = 1700000000;
    auto m1 = mail(QStringLiteral("Alice"), QStringLiteral("Hello"), sent);
    auto a = std::make_shared<Attachment>();
    a->name = QStringLiteral("a.txt");
    m1->addAttachment(a);
    auto m2 = mail(QStringLiteral("Bob"), QStringLiteral("No date"), 0);
    auto cal = std::make_shared<PstCalendarItem>();
    cal->setField(PstKey::Subject, QStringLiteral("Meeting"));
    cal->setName(QStringLiteral("Meeting"));
    cal->setField(PstKey::StartDate, sent);
    cal->setField(PstKey::EndDate, sent + 5400);
    auto task = std::make_shared<PstTaskItem>();
    task->setComplete(true);
    auto journal = std::make_shared<PstJournalItem>();
    journal->setField(PstKey::StartTime, sent);
    auto note = std::make_shared<PstNoteItem>();
    note->setField(PstKey::CreateDate, sent);

    PstListModel model;
    model.setItems({m1, m2, cal, task, journal, note});
    QCOMPARE(model.rowCount(), 6);
    auto at = [&](int row, int role) { return model.index(row, 0).data(role); };

    QCOMPARE(at(0, Qt::DisplayRole).toString(), QStringLiteral("Alice"));
    QCOMPARE(at(0, Qt::DecorationRole).toString(), m1->iconPath());
    QCOMPARE(at(0, KindRole).toInt(), 0);
    QCOMPARE(at(0, SubjectRole).toString(), QStringLiteral("Hello"));
    QCOMPARE(at(0, MailDateRole).toString(), dateText(sent, QStringLiteral("yyyy/MM/dd")));
    QCOMPARE(at(0, HasAttachmentsRole).toBool(), true);
    QCOMPARE(at(0, SortTimeRole).toULongLong(), quint64(sent));
    QCOMPARE(at(1, MailDateRole).toString(), QStringLiteral("No sent date"));
    QCOMPARE(at(1, HasAttachmentsRole).toBool(), false);
    QCOMPARE(at(2, KindRole).toInt(), 1);
    QCOMPARE(at(2, DurationRole).toString(), QStringLiteral("1h 30m"));
    QCOMPARE(at(2, StartDateRole).toString(), dateText(sent, kDetailDateFormat));
    QCOMPARE(at(3, TaskCompleteRole).toBool(), true);
    QCOMPARE(at(3, StartDateRole).toString(), QString());  // no start date: none shown
    // A journal entry's card line shows its start, a note's its creation.
    QCOMPARE(at(4, NoteDateRole).toString(), dateText(sent, kDetailDateFormat));
    QCOMPARE(at(5, NoteDateRole).toString(), dateText(sent, kDetailDateFormat));
    QVERIFY(at(0, MatchedFieldsRole).toStringList().isEmpty());

    // Unused roles and rows out of range are invalid.
    QVERIFY(!at(0, Qt::UserRole + 5).isValid());
    QVERIFY(!at(0, Qt::UserRole + 9).isValid());
    QVERIFY(!model.index(6, 0).data().isValid());
    QVERIFY(!model.data(model.index(0, 0).sibling(99, 0), Qt::DisplayRole).isValid());
}

void TestViews::sortAndSelect()
{
    PSTListView view;
    PstListController controller(&view, nullptr);
    QVERIFY(controller.isEmpty());
    QSignalSpy selected(&controller, &PstListController::itemSelected);

    auto b = mail(QStringLiteral("x"), QStringLiteral("b"), 300);
    auto a = mail(QStringLiteral("y"), QStringLiteral("a"), 200);
    auto c = mail(QStringLiteral("z"), QStringLiteral("c"), 100);
    const QList<std::shared_ptr<PstItem>> items{b, a, c};
    controller.setItems(items);
    QVERIFY(!controller.isEmpty());
    QCOMPARE(selected.count(), 1);
    QVERIFY(!selected.takeFirst().at(0).value<std::shared_ptr<PstItem>>());

    QAbstractItemModel* shown = view.model();
    controller.sortBy(1, 0);
    QCOMPARE(titles(shown), (QStringList{"a", "b", "c"}));
    controller.sortBy(1, 1);
    QCOMPARE(titles(shown), (QStringList{"c", "b", "a"}));
    controller.sortBy(3, 0);
    QCOMPARE(titles(shown), (QStringList{"c", "a", "b"}));
    controller.sortBy(0, -1);
    QCOMPARE(titles(shown), (QStringList{"b", "a", "c"}));

    // Sorted view: picking a row reports the record behind it.
    controller.sortBy(3, 1);
    view.setCurrentIndex(shown->index(0, 0));
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.takeFirst().at(0).value<std::shared_ptr<PstItem>>(), std::shared_ptr<PstItem>(b));

    // The same folder again keeps the selection and the detail pane.
    controller.setItems(QList<std::shared_ptr<PstItem>>{b, a, c});
    QCOMPARE(selected.count(), 0);
    QCOMPARE(view.selectionModel()->selectedIndexes().size(), 1);
    // Sorting survives a new list.
    controller.setItems({c, b});
    QCOMPARE(selected.count(), 1);
    QCOMPARE(titles(shown), (QStringList{"b", "c"}));
}

void TestViews::sortMenu()
{
    ListViewSortMenu menu;
    QSignalSpy changed(&menu, &ListViewSortMenu::sortChanged);
    QList<QAction*> fields = menu.fieldGroup()->actions();
    QList<QAction*> orders = menu.orderGroup()->actions();
    QCOMPARE(fields.size(), 3);
    QCOMPARE(fields.at(0)->text(), QStringLiteral("Default"));
    QVERIFY(fields.at(0)->isChecked());
    QVERIFY(!menu.orderGroup()->isEnabled());
    QCOMPARE(orders.at(0)->text(), QStringLiteral("A \u2192 Z"));
    QCOMPARE(orders.at(1)->text(), QStringLiteral("Z \u2192 A"));

    fields.at(2)->trigger(); // Date
    QCOMPARE(changed.takeLast(), (QVariantList{"date", "asc"}));
    QVERIFY(menu.orderGroup()->isEnabled());
    QCOMPARE(orders.at(0)->text(), QStringLiteral("Oldest first"));
    QCOMPARE(orders.at(1)->text(), QStringLiteral("Newest first"));
    orders.at(1)->trigger();
    QCOMPARE(changed.takeLast(), (QVariantList{"date", "desc"}));

    fields.at(1)->trigger(); // Subject
    QCOMPARE(changed.takeLast(), (QVariantList{"subject", "desc"}));
    QCOMPARE(orders.at(1)->text(), QStringLiteral("Z \u2192 A"));

    fields.at(0)->trigger(); // Default
    QCOMPARE(changed.takeLast(), (QVariantList{"none", "desc"}));
    QVERIFY(!menu.orderGroup()->isEnabled());
}

void TestViews::rowHeightsAndPainting()
{
    QStandardItemModel model;
    auto* plain = new QStandardItem(QStringLiteral("row"));
    plain->setData(0, KindRole);
    plain->setData(QStringLiteral("2024/01/02"), MailDateRole);
    auto* hit = new QStandardItem(QStringLiteral("hit"));
    hit->setData(0, KindRole);
    hit->setData(QStringList{QStringLiteral("Subject"), QStringLiteral("From")}, MatchedFieldsRole);
    model.appendRow(plain);
    model.appendRow(hit);

    PstListViewDelegate loose;
    QCOMPARE(loose.sizeHint({}, model.index(0, 0)), QSize(200, 60));
    QCOMPARE(loose.sizeHint({}, model.index(1, 0)), QSize(200, 76));
    PSTListView view;
    view.resize(400, 300);
    PstListViewDelegate onView(&view);
    QCOMPARE(onView.sizeHint({}, model.index(0, 0)).width(), view.viewport()->width() - 20);
    QCOMPARE(view.minimumSizeHint(), QSize(0, 0));

    // The mail card's date: blue when unselected, white when selected.
    auto blueDatePixels = [&](bool selected) {
        QImage image(400, 60, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        QStyleOptionViewItem opt;
        opt.rect = QRect(0, 0, 400, 60);
        opt.palette.setColor(QPalette::Base, Qt::white);
        if (selected)
            opt.state |= QStyle::State_Selected;
        loose.paint(&p, opt, model.index(0, 0));
        p.end();
        int blue = 0;
        for (int y = 8; y < 28; ++y)
            for (int x = 290; x < 392; ++x)
                blue += image.pixel(x, y) == QColor(55, 124, 246).rgb();
        return blue;
    };
    QVERIFY(blueDatePixels(false) > 0);
    QCOMPARE(blueDatePixels(true), 0);
}

void TestViews::infoView()
{
    PstInfoView view;
    auto contact = std::make_shared<PstContactItem>();
    contact->setField(PstKey::BusinessPhone, QStringLiteral("555-1234"));
    view.setItem(contact);
    QCOMPARE(view.nameText(), contact->title());
    QStringList shown;
    for (PstInfoLabel* box : view.sections())
        shown << box->title();
    QCOMPARE(shown, QStringList{QStringLiteral("Phone Numbers")});

    // A new record replaces the boxes; none is left from the contact.
    auto task = std::make_shared<PstTaskItem>();
    task->setName(QStringLiteral("<b>Do</b>"));
    task->setField(PstKey::DueDate, qint64(1700000000));
    view.setItem(task);
    QCOMPARE(view.nameText(), QStringLiteral("<b>Do</b>"));
    shown.clear();
    for (PstInfoLabel* box : view.sections())
        shown << box->title();
    QVERIFY(!shown.contains(QStringLiteral("Phone Numbers")));
    QVERIFY(shown.contains(QStringLiteral("Task Schedule")));
    view.setItem(nullptr);
    QVERIFY(view.sections().isEmpty());

    // An appointment's attachments open and save from its page as a mail's do.
    auto* button = view.findChild<QPushButton*>(QStringLiteral("attachmentBtn"));
    QVERIFY(button && button->isHidden());
    pstw::AppointmentSpec meeting;
    meeting.subject = QStringLiteral("Review");
    pstw::MessageSpec spec = meeting.toMessage();
    spec.attachments.push_back(pstw::AttachmentSpec::file(QStringLiteral("invite.ics"), "BEGIN:VCALENDAR"));
    spec.attachments.push_back(pstw::AttachmentSpec::file(QStringLiteral("agenda.pdf"), "%PDF"));
    QTemporaryDir temp;
    const PstItemPtr appointment = writtenItem(temp.filePath(QStringLiteral("calendar.pst")), spec);
    QVERIFY(appointment && appointment->kind() == PstItemKind::Calendar);
    view.setItem(appointment);
    QVERIFY(!button->isHidden());
    QCOMPARE(button->text(), QStringLiteral("Attachments (2)"));
    QStringList entries;
    for (QAction* act : view.attachmentMenu()->actions())
        entries << (act->isSeparator() ? QStringLiteral("-") : act->text());
    QCOMPARE(entries, (QStringList{"agenda.pdf", "invite.ics", "-", "Save All"}));
    const QString out = temp.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    QCOMPARE(PstAttachmentActions::saveAllAttachmentsTo(*appointment, out), 2);
    QCOMPARE(QDir(out).entryList(QDir::Files), (QStringList{"agenda.pdf", "invite.ics"}));

    // A sticky note's page shows its text; without attachments no button.
    pstw::NoteSpec guest;
    guest.subject = QStringLiteral("Wi-Fi");
    guest.body = QStringLiteral("guest: tea-time-2024");
    view.setItem(writtenItem(temp.filePath(QStringLiteral("note.pst")), guest.toMessage()));
    QVERIFY(button->isHidden());
    QCOMPARE(view.sections().size(), 1);
    QStringList texts;
    for (QLabel* label : view.sections().first()->findChildren<QLabel*>())
        texts << label->text();
    QVERIFY2(texts.contains(QStringLiteral("guest: tea-time-2024")), qPrintable(texts.join(QLatin1Char('|'))));
    // Text that is only blank lines (what an HTML body may leave) shows no box.
    guest.body = QStringLiteral("\r\n  \r\n");
    view.setItem(writtenItem(temp.filePath(QStringLiteral("blank.pst")), guest.toMessage()));
    QVERIFY(view.sections().isEmpty());
}

void TestViews::attachmentFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("safe");
    QTest::newRow("plain") << "report.pdf" << "report.pdf";
    QTest::newRow("unix dirs") << "../../etc/passwd" << "passwd";
    QTest::newRow("windows dirs") << "..\\..\\Startup\\evil.exe" << "evil.exe";
    QTest::newRow("absolute") << "/tmp/x.txt" << "x.txt";
    QTest::newRow("dot dot") << ".." << "attachment_7";
    QTest::newRow("dot") << "." << "attachment_7";
    QTest::newRow("ends in separator") << "folder/" << "attachment_7";
    QTest::newRow("empty") << "" << "attachment_7";
    QTest::newRow("control chars") << QString("a\nb\x01.txt") << "ab.txt";
    QTest::newRow("hidden file kept") << ".profile" << ".profile";
}

void TestViews::attachmentFileNames()
{
    QFETCH(QString, name);
    QFETCH(QString, safe);
    QCOMPARE(PstAttachmentNames::safeFileName(name, 7), safe);
    QCOMPARE(PstAttachmentNames::pathInDirectory(QStringLiteral("/save/here/"), name, 7),
             QStringLiteral("/save/here/") + safe);

    QTemporaryDir temp;
    Attachment a;
    a.name = name;
    a.id = 7;
    QVERIFY(PstAttachmentActions::writeTempFile(a, {}, temp.path()).isEmpty()); // no bytes, no file
    const QString path = PstAttachmentActions::writeTempFile(a, "bytes", temp.path() + QStringLiteral("/Temp"));
    QCOMPARE(path, temp.path() + QStringLiteral("/Temp/7_") + safe);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArrayLiteral("bytes"));
    // Only the user can read the copy: the directory is 0700, the file 0600.
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser;
    QCOMPARE(QFile::permissions(path), ownerOnly);
    QCOMPARE(QFile::permissions(temp.path() + QStringLiteral("/Temp")),
             ownerOnly | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    QVERIFY(QFile::setPermissions(path, ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    QCOMPARE(PstAttachmentActions::writeTempFile(a, "bytes", temp.path() + QStringLiteral("/Temp")), path); // opened again
    QCOMPARE(QFile::permissions(path), ownerOnly);
}

void TestViews::saveAllStaysInFolder()
{
    QTemporaryDir root;
    const QString dir = root.path() + QStringLiteral("/chosen");
    QVERIFY(QDir().mkpath(dir));
    pstw::MessageSpec spec;
    spec.subject = QStringLiteral("Odd names");
    // libpst lists attachments last first.
    const QList<QPair<QString, QByteArray>> files = {{QStringLiteral("unloadable.bin"), {}}, // no bytes to load
                                                     {QStringLiteral(".."), "four"},
                                                     {QStringLiteral("same.txt"), "three"},
                                                     {QStringLiteral("C:\\Windows\\same.txt"), "two"},
                                                     {QStringLiteral("../escape.txt"), "one"}};
    for (const auto& [name, bytes] : files)
        spec.attachments.push_back(pstw::AttachmentSpec::file(name, bytes));
    QTemporaryDir store;
    const auto mail = writtenMail(store.filePath(QStringLiteral("odd.pst")), spec);
    QVERIFY(mail);
    const PstMailItem& m = *mail;
    QCOMPARE(m.attachments().size(), 5);
    QCOMPARE(m.attachments().first()->name, QStringLiteral("../escape.txt"));
    QCOMPARE(PstAttachmentActions::saveAllAttachmentsTo(m, dir), 4);
    QCOMPARE(QDir(root.path()).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(dir).entryList(QDir::Files),
             (QStringList{"attachment_0", "escape.txt", "same.txt"})); // libpst ids inline bytes 0
    QFile same(dir + QStringLiteral("/same.txt"));
    QVERIFY(same.open(QIODevice::ReadOnly));
    QCOMPARE(same.readAll(), QByteArrayLiteral("three")); // the later one wins

    // Save As of an attachment without bytes writes nothing, and leaves a
    // file of that name as it was.
    QVERIFY(!PstAttachmentActions::saveAttachmentTo(m, *m.attachments().at(4), dir + QStringLiteral("/x.bin")));
    QVERIFY(!QFile::exists(dir + QStringLiteral("/x.bin")));
    QVERIFY(!PstAttachmentActions::saveAttachmentTo(m, *m.attachments().at(4), same.fileName()));
    same.seek(0);
    QCOMPARE(same.readAll(), QByteArrayLiteral("three"));
}

void TestViews::attachedMessagesSaveAsEml()
{
    pstw::MessageSpec original;
    original.subject = QStringLiteral("Lunch on Friday");
    original.senderName = QStringLiteral("Bo Lind");
    original.senderEmail = QStringLiteral("bo@example.com");
    original.body = QStringLiteral("Noon at the usual place.");
    pstw::MessageSpec forward;
    forward.subject = QStringLiteral("FW: Lunch on Friday");
    forward.attachments.push_back(pstw::AttachmentSpec::message(original));
    forward.attachments.push_back(pstw::AttachmentSpec::file(QStringLiteral("menu.txt"), "soup"));
    QTemporaryDir temp;
    const auto mail = writtenMail(temp.filePath(QStringLiteral("forward.pst")), forward);
    QVERIFY(mail);
    const QString dir = temp.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(dir));
    QCOMPARE(PstAttachmentActions::saveAllAttachmentsTo(*mail, dir), 2);
    QCOMPARE(QDir(dir).entryList(QDir::Files), (QStringList{"Lunch on Friday.eml", "menu.txt"}));
    QFile eml(dir + QStringLiteral("/Lunch on Friday.eml"));
    QVERIFY(eml.open(QIODevice::ReadOnly));
    const QByteArray text = eml.readAll();
    QVERIFY2(text.contains("Subject: Lunch on Friday\n") && text.contains("Noon at the usual place."), text.constData());
    // Save As writes the same message.
    std::shared_ptr<Attachment> message;
    for (const auto& a : mail->attachments())
        if (a->embeddedMessage)
            message = a;
    QVERIFY(message);
    QVERIFY(PstAttachmentActions::saveAttachmentTo(*mail, *message, dir + QStringLiteral("/chosen.eml")));
    QFile chosen(dir + QStringLiteral("/chosen.eml"));
    QVERIFY(chosen.open(QIODevice::ReadOnly));
    QCOMPARE(chosen.readAll(), text);
}

namespace {
QByteArray png(QColor color)
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
} // namespace

void TestViews::inlineImagesAndRealAttachments()
{
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("inline.pst"));
    const QByteArray red = png(Qt::red), blue = png(Qt::blue);
    pstw::MessageId id = 0;
    {
        pstw::PstWriter w(path);
        const pstw::FolderId inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"));
        pstw::MessageSpec m;
        m.subject = QStringLiteral("Inline");
        m.senderName = QStringLiteral("Ann");
        m.html = QByteArrayLiteral("<html><body><img src=\"cid:red@x\"> <img src=\"cid:blue@x\">"
                                   "<img src=\"cid:missing@x\"></body></html>");
        m.attachments.push_back(pstw::AttachmentSpec::file(QStringLiteral("red.png"), red, QStringLiteral("image/png"),
                                                           QStringLiteral("red@x")));
        m.attachments.push_back(pstw::AttachmentSpec::file(QStringLiteral("blue.PNG"), blue, QStringLiteral("image/png"),
                                                           QStringLiteral("blue@x")));
        m.attachments.push_back(pstw::AttachmentSpec::file(QStringLiteral("..\\..\\notes.txt"), "text"));
        id = w.addMessage(inbox, m);
        QVERIFY(w.finish());
    }
    PstDocument doc;
    QVERIFY(doc.open(path));
    auto mail = std::dynamic_pointer_cast<PstMailItem>(loadItemById(doc.handle(), id));
    QVERIFY(mail);
    QCOMPARE(mail->attachments().size(), 3);

    const QString html = mail->displayHtml();
    QCOMPARE(html.count(QStringLiteral("src=\"data:image/png;base64,")), 2);
    QVERIFY(html.contains(QString::fromLatin1(red.toBase64())));
    QVERIFY(html.contains(QString::fromLatin1(blue.toBase64())));
    QVERIFY(html.contains(QStringLiteral("src=\"cid:missing@x\"")));

    // Attachment bytes load from the file when opened or saved.
    std::shared_ptr<Attachment> redAttachment;
    for (const auto& a : mail->attachments())
        if (a->name == QLatin1String("red.png"))
            redAttachment = a;
    QVERIFY(redAttachment);
    const QString tempPath = PstAttachmentActions::writeTempFile(*redAttachment, mail->loadAttachmentData(*redAttachment),
                                                                 temp.filePath("Temp"));
    QCOMPARE(QFileInfo(tempPath).fileName(), QString::number(redAttachment->id) + QStringLiteral("_red.png"));
    const QString out = temp.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    QCOMPARE(PstAttachmentActions::saveAllAttachmentsTo(*mail, out), 3);
    QCOMPARE(QDir(out).entryList(QDir::Files), (QStringList{"blue.PNG", "notes.txt", "red.png"}));
    QFile notes(out + QStringLiteral("/notes.txt"));
    QVERIFY(notes.open(QIODevice::ReadOnly));
    QCOMPARE(notes.readAll(), QByteArrayLiteral("text"));
}

QTEST_MAIN(TestViews)
#include "tst_views.moc"
