#pragma once

#include "receiver/Send.h"

#include <QList>
#include <QString>

#include <vector>

class QWidget;

namespace dorvane {

// What File > Send to Receiver asks: the receiver's folder and login, and
// how its bouquets are made.
struct SendAnswer {
    QString address; // ftp://HOST[:PORT]/PATH/ or sftp://..., without the user
    QString user;
    QString password;
    bool rememberPassword = false; // kept in the recipe
    QString prefix = QString::fromUtf16(kDefaultBouquetPrefix);
    bool perGroup = false;
    bool reload = true;
    bool acceptNewHostKey = false; // SFTP: take a key known_hosts lacks
};

// The send's dialog. Tests answer it in advance, so that it never opens
// under a test.
class SendDialog {
public:
    // Asks with `answer` filled in; false when cancelled. An address, user
    // or prefix that cannot be used is asked again with the reason.
    static bool ask(QWidget* parent, SendAnswer& answer);

    // Tests: the answer of the next question, instead of opening it.
    static void setNextAnswer(const SendAnswer& answer);
    // Tests: with no answer queued, the question opens nothing and is
    // cancelled.
    static void setHeadless(bool headless);
    // Tests: what each question answered through the seam proposed.
    static const QList<SendAnswer>& proposed();
    static void clearProposed();
};

// The folder of an answer, with its user (receiverFolder's rules);
// EReadError when it cannot be used.
QUrl sendFolder(const SendAnswer& answer);

// Runs the send on a thread of its own while a window shows a line per
// step and file; Esc or Cancel stops it where it is (before the index is
// renamed, the receiver keeps its lists). The send's exception, if any, is
// thrown here, once the window has closed.
SendReport runSend(QWidget* parent, const std::vector<Bouquet>& bouquets, SendPlan plan);

} // namespace dorvane
