#include "app/ProviderDialog.h"

#include "app/ScriptedAnswers.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace dorvane {

namespace {
ScriptedAnswers<ProviderAnswer>& seam() {
    static ScriptedAnswers<ProviderAnswer> s;
    return s;
}
} // namespace

bool ProviderDialog::ask(QWidget* parent, ProviderAnswer& answer) {
    if (seam().answersInstead()) {
        const std::optional<ProviderAnswer> next = seam().take(answer);
        if (!next)
            return false;
        answer = *next;
        return true;
    }

    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Open Provider"));
    auto* server = new QLineEdit(answer.server, &dialog);
    server->setObjectName(QStringLiteral("Server"));
    server->setPlaceholderText(QStringLiteral("http://tv.example.com:8080"));
    auto* user = new QLineEdit(answer.user, &dialog);
    user->setObjectName(QStringLiteral("User"));
    auto* password = new QLineEdit(&dialog);
    password->setObjectName(QStringLiteral("Password"));
    password->setEchoMode(QLineEdit::Password);
    auto* live = new QCheckBox(QStringLiteral("Live TV"), &dialog);
    live->setChecked(answer.live);
    auto* movies = new QCheckBox(QStringLiteral("Movies"), &dialog);
    movies->setChecked(answer.movies);
    auto* note = new QLabel(QStringLiteral("Сериалы не читаются: для каждого из них нужен "
                                           "отдельный запрос к провайдеру."),
                            &dialog);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Server:"), server);
    form->addRow(QStringLiteral("User name:"), user);
    form->addRow(QStringLiteral("Password:"), password);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(live);
    layout->addWidget(movies);
    layout->addWidget(note);
    layout->addWidget(buttons);
    dialog.resize(460, dialog.sizeHint().height());
    if (!answer.server.isEmpty())
        (answer.user.isEmpty() ? user : password)->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    answer = {server->text(), user->text(), password->text(), live->isChecked(),
              movies->isChecked()};
    return true;
}

void ProviderDialog::setNextAnswer(const ProviderAnswer& answer) {
    seam().queue(answer);
}
void ProviderDialog::setHeadless(bool headless) {
    seam().setHeadless(headless);
}
const QList<ProviderAnswer>& ProviderDialog::proposed() {
    return seam().proposed();
}
void ProviderDialog::clearProposed() {
    seam().clearProposed();
}

} // namespace dorvane
