#pragma once
#include "PstWriter.h"

#include <QString>

// A generated mailbox of a given size and mix, reproducible from its seed.
struct GenerateOptions {
    int mails = 1000;
    int folders = 1;            // mail folders under Inbox
    int bodySize = 2048;        // bytes of body text per mail
    int htmlSize = 0;           // bytes of HTML body per mail (0: none)
    int attachEvery = 10;       // every n-th mail carries an attachment (0: none)
    int attachSize = 20 * 1024;
    // Every n-th mail's sender is known only by an Exchange directory path,
    // with its SMTP address in PR_SENT_REPRESENTING_SMTP_ADDRESS (0: none).
    int exchangeEvery = 0;
    int contacts = 0, appointments = 0, tasks = 0, journal = 0, notes = 0;
    quint32 seed = 1;
    pstw::PstFormat format = pstw::PstFormat::Unicode;
    pstw::PstEncryption encryption = pstw::PstEncryption::None;
};

struct GenerateResult {
    bool ok = false;
    int items = 0;       // messages of every kind
    int attachments = 0;
    int folders = 0;     // folders created (besides the standard ones)
};

GenerateResult generateMailbox(const QString &path, const GenerateOptions &o);
