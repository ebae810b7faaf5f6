#include "app/AddressDialog.h"

#include "app/ScriptedAnswers.h"

#include <QInputDialog>

namespace dorvane {

namespace {
ScriptedAnswers<QString>& seam() {
    static ScriptedAnswers<QString> s;
    return s;
}
} // namespace

bool AddressDialog::ask(QWidget* parent, const QString& proposed, QString& address) {
    if (seam().answersInstead()) {
        const std::optional<QString> answer = seam().take(proposed);
        if (!answer)
            return false;
        address = *answer;
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
    seam().queue(address);
}
void AddressDialog::setHeadless(bool headless) {
    seam().setHeadless(headless);
}
const QList<QString>& AddressDialog::proposed() {
    return seam().proposed();
}
void AddressDialog::clearProposed() {
    seam().clearProposed();
}

} // namespace dorvane
