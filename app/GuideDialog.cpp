#include "app/GuideDialog.h"

#include "app/ScriptedAnswers.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace dorvane {

namespace {
ScriptedAnswers<QString, QStringList>& seam() {
    static ScriptedAnswers<QString, QStringList> s;
    return s;
}
} // namespace

bool GuideDialog::ask(QWidget* parent, const QStringList& guides, const QStringList& unmatched,
                      QString& guide) {
    if (seam().answersInstead()) {
        const std::optional<QString> answer = seam().take(unmatched);
        if (!answer)
            return false;
        guide = *answer;
        return !guide.isEmpty();
    }

    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("GuideDialog1"));
    dialog.setWindowTitle(QStringLiteral("Guide"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(guides.isEmpty() ? QStringLiteral("Телепрограмма не задана.")
                                                  : QStringLiteral("Телепрограммы:"),
                                 &dialog));
    for (const QString& name : guides) {
        auto* label = new QLabel(name, &dialog);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(label);
    }
    layout->addWidget(
        new QLabel(QStringLiteral("Добавить файл или адрес (.xml, .xml.gz, .xml.xz):"), &dialog));
    auto* row = new QHBoxLayout;
    auto* field = new QLineEdit(&dialog);
    field->setObjectName(QStringLiteral("GuideEdit1"));
    auto* browse = new QPushButton(QStringLiteral("Browse..."), &dialog);
    row->addWidget(field, 1);
    row->addWidget(browse);
    layout->addLayout(row);
    QObject::connect(browse, &QPushButton::clicked, &dialog, [&dialog, field] {
        const QString file = QFileDialog::getOpenFileName(
            &dialog, QStringLiteral("Guide"), {},
            QStringLiteral("XMLTV (*.xml *.xml.gz *.xml.xz *.gz *.xz);;All files (*)"));
        if (!file.isEmpty())
            field->setText(file);
    });
    if (!unmatched.isEmpty()) {
        layout->addWidget(new QLabel(
            QStringLiteral("Каналы без телепрограммы: %1").arg(unmatched.size()), &dialog));
        auto* list = new QListWidget(&dialog);
        list->setObjectName(QStringLiteral("UnmatchedList1"));
        list->addItems(unmatched);
        layout->addWidget(list, 1);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(560, dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    guide = field->text().trimmed();
    return !guide.isEmpty();
}

void GuideDialog::setNextGuide(const QString& guide) {
    seam().queue(guide);
}
void GuideDialog::setHeadless(bool headless) {
    seam().setHeadless(headless);
}
const QList<QStringList>& GuideDialog::proposed() {
    return seam().proposed();
}
void GuideDialog::clearProposed() {
    seam().clearProposed();
}

} // namespace dorvane
