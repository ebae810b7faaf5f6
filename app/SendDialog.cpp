#include "app/SendDialog.h"

#include "app/ScriptedAnswers.h"
#include "playlist/Errors.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <atomic>
#include <exception>
#include <functional>
#include <thread>

namespace dorvane {

namespace {
ScriptedAnswers<SendAnswer>& seam() {
    static ScriptedAnswers<SendAnswer> s;
    return s;
}

// The Russian line of a step, for the progress window.
QString stepLine(SendStep step, const QString& file) {
    QString text;
    switch (step) {
    case SendStep::Connecting:
        text = QStringLiteral("Подключение");
        break;
    case SendStep::BackingUp:
        text = QStringLiteral("Копия");
        break;
    case SendStep::Uploading:
        text = QStringLiteral("Отправка");
        break;
    case SendStep::WritingIndex:
        text = QStringLiteral("Индекс");
        break;
    case SendStep::Deleting:
        text = QStringLiteral("Удаление");
        break;
    case SendStep::Reloading:
        text = QStringLiteral("Перезагрузка списков");
        break;
    }
    return file.isEmpty() ? text : QStringLiteral("%1: %2").arg(text, file);
}
} // namespace

QUrl sendFolder(const SendAnswer& answer) {
    QUrl url(answer.address.trimmed(), QUrl::StrictMode);
    url.setUserName(answer.user);
    return receiverFolder(url.toString());
}

bool SendDialog::ask(QWidget* parent, SendAnswer& answer) {
    if (seam().answersInstead()) {
        const std::optional<SendAnswer> next = seam().take(answer);
        if (!next)
            return false;
        answer = *next;
        return true;
    }

    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Send to Receiver"));
    auto* address = new QLineEdit(answer.address, &dialog);
    address->setObjectName(QStringLiteral("Address"));
    address->setPlaceholderText(QStringLiteral("ftp://192.168.1.20/etc/enigma2/"));
    auto* user = new QLineEdit(answer.user, &dialog);
    user->setObjectName(QStringLiteral("User"));
    auto* password = new QLineEdit(answer.password, &dialog);
    password->setObjectName(QStringLiteral("Password"));
    password->setEchoMode(QLineEdit::Password);
    auto* remember = new QCheckBox(QStringLiteral("Remember in the recipe"), &dialog);
    remember->setChecked(answer.rememberPassword);
    auto* prefix = new QLineEdit(answer.prefix, &dialog);
    prefix->setObjectName(QStringLiteral("Prefix"));
    auto* perGroup = new QCheckBox(QStringLiteral("One bouquet per group"), &dialog);
    perGroup->setChecked(answer.perGroup);
    auto* reload = new QCheckBox(QStringLiteral("Reload the receiver's lists"), &dialog);
    reload->setChecked(answer.reload);
    auto* newKey = new QCheckBox(QStringLiteral("Accept a new SSH host key"), &dialog);
    newKey->setChecked(answer.acceptNewHostKey);
    auto* problem = new QLabel(&dialog);
    problem->setWordWrap(true);
    problem->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        SendAnswer given{address->text().trimmed(), user->text(),       password->text(),
                         remember->isChecked(),     prefix->text(),     perGroup->isChecked(),
                         reload->isChecked(),       newKey->isChecked()};
        try {
            sendFolder(given);
            if (!isBouquetPrefix(given.prefix))
                throw EReadError(QStringLiteral("The prefix is [a-z0-9_]+."));
        } catch (const Exception& error) {
            problem->setText(error.Message());
            problem->show();
            return;
        }
        answer = given;
        dialog.accept();
    });

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Address:"), address);
    form->addRow(QStringLiteral("User name:"), user);
    form->addRow(QStringLiteral("Password:"), password);
    form->addRow(QString(), remember);
    form->addRow(QStringLiteral("Prefix:"), prefix);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(perGroup);
    layout->addWidget(reload);
    layout->addWidget(newKey);
    layout->addWidget(problem);
    layout->addWidget(buttons);
    dialog.resize(480, dialog.sizeHint().height());
    return dialog.exec() == QDialog::Accepted;
}

void SendDialog::setNextAnswer(const SendAnswer& answer) {
    seam().queue(answer);
}
void SendDialog::setHeadless(bool headless) {
    seam().setHeadless(headless);
}
const QList<SendAnswer>& SendDialog::proposed() {
    return seam().proposed();
}
void SendDialog::clearProposed() {
    seam().clearProposed();
}

namespace {
// Esc, Cancel and the close button reject a dialog: while the send runs,
// that asks it to stop, and the window stays until it has.
class ProgressWindow final : public QDialog {
public:
    using QDialog::QDialog;
    std::function<void()> stop;
    std::atomic<bool> done{false};

    void reject() override {
        if (done)
            QDialog::reject();
        else if (stop)
            stop();
    }
};
} // namespace

SendReport runSend(QWidget* parent, const std::vector<Bouquet>& bouquets, SendPlan plan) {
    ProgressWindow window(parent);
    window.setObjectName(QStringLiteral("SendProgress"));
    window.setWindowTitle(QStringLiteral("Send to Receiver"));
    auto* lines = new QPlainTextEdit(&window);
    lines->setObjectName(QStringLiteral("SendLines"));
    lines->setReadOnly(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, &window);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(lines);
    layout->addWidget(buttons);
    window.resize(520, 300);

    std::atomic<bool> cancel{false};
    window.stop = [&] {
        if (cancel.exchange(true))
            return;
        lines->appendPlainText(QStringLiteral("Отмена..."));
        buttons->setEnabled(false);
    };
    plan.cancel = &cancel;
    QPointer<QPlainTextEdit> view(lines);
    plan.progress = [view](SendStep step, const QString& file) {
        QMetaObject::invokeMethod(
            view.data(),
            [view, line = stepLine(step, file)] {
                if (view)
                    view->appendPlainText(line);
            },
            Qt::QueuedConnection);
    };
    SendReport report;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            report = sendBouquets(bouquets, plan);
        } catch (...) {
            failure = std::current_exception();
        }
        window.done = true;
        QMetaObject::invokeMethod(
            &window, [&window] { window.accept(); }, Qt::QueuedConnection);
    });
    window.exec();
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
    return report;
}

} // namespace dorvane
