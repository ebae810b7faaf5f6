#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

namespace dorvane {

// Every message box of the program is asked for here. Tests answer the boxes
// in advance and read what would have been shown, so no modal box ever opens
// under a test.
class MessageBox {
public:
    using Button = QMessageBox::StandardButton;
    using Buttons = QMessageBox::StandardButtons;

    struct Shown {
        QMessageBox::Icon icon;
        QString caption;
        QString text;
        Buttons buttons;
        QString details = {};
    };

    // Shows a modal box and returns the button that closed it.
    static Button show(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                       const QString& text, Buttons buttons, Button defaultButton);

    // An information box whose "Show Details..." gives `details`.
    static void showDetails(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                            const QString& text, const QString& details);

    // Tests: the answer of the next box, instead of opening it.
    static void setNextAnswer(Button answer);
    // Tests: with no answer queued, a box opens nothing and returns its
    // default button (or its only one).
    static void setHeadless(bool headless);
    // Tests: every box answered through the seam so far, oldest first.
    static const QList<Shown>& shown();
    static void clearShown();
};

// The application's title, the error box's caption: the program file's name
// without its folder and without everything from its first "." on, every
// character after the first in lower case.
QString applicationTitle();
QString applicationTitleOf(const QString& programPath);

} // namespace dorvane
