#include "app/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <deque>

namespace dorvane {

namespace {
struct Seam {
    std::deque<MessageBox::Button> answers;
    bool headless = false;
    QList<MessageBox::Shown> shown;
};

Seam& seam() {
    static Seam s;
    return s;
}

MessageBox::Button firstButtonOf(MessageBox::Buttons buttons) {
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
        if (buttons & bit)
            return static_cast<MessageBox::Button>(bit);
    return QMessageBox::NoButton;
}
} // namespace

MessageBox::Button MessageBox::show(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                    const QString& text, Buttons buttons, Button defaultButton) {
    Seam& s = seam();
    if (!s.answers.empty() || s.headless)
        s.shown.append({icon, caption, text, buttons});
    if (!s.answers.empty()) {
        const Button answer = s.answers.front();
        s.answers.pop_front();
        return answer;
    }
    if (s.headless)
        return defaultButton != QMessageBox::NoButton ? defaultButton : firstButtonOf(buttons);

    QMessageBox box(icon, caption, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<Button>(box.exec());
}

void MessageBox::showDetails(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                             const QString& text, const QString& details) {
    Seam& s = seam();
    if (!s.answers.empty() || s.headless) {
        s.shown.append({icon, caption, text, QMessageBox::Ok, details});
        if (!s.answers.empty())
            s.answers.pop_front();
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.setDetailedText(details);
    box.exec();
}

void MessageBox::setNextAnswer(Button answer) {
    seam().answers.push_back(answer);
}
void MessageBox::setHeadless(bool headless) {
    seam().headless = headless;
}
const QList<MessageBox::Shown>& MessageBox::shown() {
    return seam().shown;
}
void MessageBox::clearShown() {
    seam().shown.clear();
}

QString applicationTitleOf(const QString& programPath) {
    QString name = QFileInfo(programPath).fileName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString applicationTitle() {
    return applicationTitleOf(QCoreApplication::applicationFilePath());
}

} // namespace dorvane
