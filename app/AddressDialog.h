#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace dorvane {

// File > Open URL's question for a web address. Tests answer it in advance,
// so that it never opens under a test.
class AddressDialog {
public:
    // Asks for an address with `proposed` filled in; false when cancelled.
    static bool ask(QWidget* parent, const QString& proposed, QString& address);

    // Tests: the answer of the next question, instead of opening it; an
    // empty one cancels it.
    static void setNextAddress(const QString& address);
    // Tests: with no answer queued, the question opens nothing and is
    // cancelled.
    static void setHeadless(bool headless);
    // Tests: what each question answered through the seam proposed.
    static const QList<QString>& proposed();
    static void clearProposed();
};

} // namespace dorvane
