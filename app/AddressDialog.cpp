#include "app/AddressDialog.h"

#include <QInputDialog>

#include <deque>

namespace dorvane {

namespace {
struct Seam {
    std::deque<QString> answers;
    bool headless = false;
    QList<QString> proposed;
};

Seam& seam() {
    static Seam s;
    return s;
}
} // namespace

bool AddressDialog::ask(QWidget* parent, const QString& proposed, QString& address) {
    Seam& s = seam();
    if (!s.answers.empty() || s.headless) {
        s.proposed.append(proposed);
        if (s.answers.empty())
            return false;
        address = s.answers.front();
        s.answers.pop_front();
        return !address.isEmpty();
    }

    QInputDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Open URL"));
    dialog.setLabelText(QStringLiteral("Адрес плейлиста (http:// или https://):"));
    dialog.setTextValue(proposed);
    // Room for a provider's long address.
    dialog.resize(560, dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    address = dialog.textValue();
    return true;
}

void AddressDialog::setNextAddress(const QString& address) {
    seam().answers.push_back(address);
}
void AddressDialog::setHeadless(bool headless) {
    seam().headless = headless;
}
const QList<QString>& AddressDialog::proposed() {
    return seam().proposed;
}
void AddressDialog::clearProposed() {
    seam().proposed.clear();
}

} // namespace dorvane
