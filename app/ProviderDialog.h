#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace dorvane {

// What File > Open Provider asks: the provider's server, the account, and
// what to read of it.
struct ProviderAnswer {
    QString server;
    QString user;
    QString password;
    bool live = true;
    bool movies = false;
};

// File > Open Provider's dialog. Tests answer it in advance, so that it never
// opens under a test.
class ProviderDialog {
public:
    // Asks with `answer` filled in (its password is never proposed); false
    // when cancelled.
    static bool ask(QWidget* parent, ProviderAnswer& answer);

    // Tests: the answer of the next question, instead of opening it.
    static void setNextAnswer(const ProviderAnswer& answer);
    // Tests: with no answer queued, the question opens nothing and is
    // cancelled.
    static void setHeadless(bool headless);
    // Tests: the server and user each question answered through the seam
    // proposed.
    static const QList<ProviderAnswer>& proposed();
    static void clearProposed();
};

} // namespace dorvane
