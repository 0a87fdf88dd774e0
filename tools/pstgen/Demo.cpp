#include "Demo.h"

using namespace pstw;

bool writeDemo(const QString &path, PstFormat format, PstEncryption encryption)
{
    PstWriter w(path, format, encryption);
    const FolderId inbox = w.addFolder(w.ipmSubtree(), QStringLiteral("Inbox"), QStringLiteral("IPF.Note"));
    MessageSpec m;
    m.subject = QStringLiteral("Welcome");
    m.body = QStringLiteral("Hello");
    m.senderName = QStringLiteral("Ann");
    m.senderEmail = QStringLiteral("ann@example.com");
    m.sent = m.received = QDateTime(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC);
    m.recipients = {{QStringLiteral("Bob"), QStringLiteral("bob@example.com")}};
    w.addMail(inbox, m);
    return w.finish();
}
