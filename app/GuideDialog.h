#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace dorvane {

// File > Guide...: the window's programme guides, the channels the last cut
// found nothing for, and a field for one more guide, a file or an address.
// Tests answer it in advance, so that it never opens under a test.
class GuideDialog {
public:
    // Shows `guides` and `unmatched` and asks for a further guide; false
    // when cancelled or left empty.
    static bool ask(QWidget* parent, const QStringList& guides, const QStringList& unmatched,
                    QString& guide);

    // Tests: the answer of the next question, instead of opening it; an
    // empty one cancels it.
    static void setNextGuide(const QString& guide);
    static void setHeadless(bool headless);
    // Tests: the unmatched channels each question answered through the seam
    // listed.
    static const QList<QStringList>& proposed();
    static void clearProposed();
};

} // namespace dorvane
