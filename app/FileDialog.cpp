#include "app/FileDialog.h"

#include <QFileDialog>

#include <deque>

namespace dorvane {

namespace {
struct Seam {
    std::deque<QString> answers;
    bool headless = false;
    QList<FileDialog::Shown> shown;
};

Seam& seam() {
    static Seam s;
    return s;
}
} // namespace

FileDialog::FileDialog(Mode mode, QObject* parent) : QObject(parent), m_mode(mode) {}

bool FileDialog::execute(QWidget* parent) {
    Seam& s = seam();
    if (!s.answers.empty() || s.headless) {
        s.shown.append({m_mode, m_filter, m_fileName});
        if (s.answers.empty())
            return false;
        const QString answer = s.answers.front();
        s.answers.pop_front();
        if (answer.isEmpty())
            return false;
        m_fileName = answer;
        return true;
    }

    QFileDialog dialog(parent);
    dialog.setAcceptMode(m_mode == Mode::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Even for opening, a name that does not exist is accepted: reading it
    // then reports why it cannot be read.
    dialog.setFileMode(QFileDialog::AnyFile);
    // The description already names the patterns; Qt would repeat them.
    dialog.setOptions(QFileDialog::HideNameFilterDetails | QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(qtNameFilters(m_filter));
    if (!m_fileName.isEmpty())
        dialog.selectFile(m_fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    m_fileName = dialog.selectedFiles().constFirst();
    return true;
}

void FileDialog::setNextFileName(const QString& fileName) {
    seam().answers.push_back(fileName);
}
void FileDialog::setHeadless(bool headless) {
    seam().headless = headless;
}
const QList<FileDialog::Shown>& FileDialog::shown() {
    return seam().shown;
}
void FileDialog::clearShown() {
    seam().shown.clear();
}

QStringList FileDialog::qtNameFilters(const QString& filter) {
    // Qt takes the patterns from the last parentheses of a name filter,
    // separated by blanks; with HideNameFilterDetails it shows the text in
    // front of them.
    QStringList result;
    const QStringList parts = filter.split(u'|');
    for (qsizetype k = 0; k + 1 < parts.size(); k += 2) {
        const QStringList patterns = parts[k + 1].split(u';', Qt::SkipEmptyParts);
        result.append(parts[k] + QStringLiteral(" (") + patterns.join(u' ') + u')');
    }
    return result;
}

} // namespace dorvane
