#include "app/FileDialog.h"

#include <QFileDialog>
#include <QFileInfo>

#include <deque>

namespace dorvane {

namespace {
struct Seam {
    std::deque<QString> answers;
    bool headless = false;
    QList<FileDialog::Shown> shown;
    // The folder of the file chosen last, in any dialog of this run.
    QString lastFolder;
};

Seam& seam() {
    static Seam s;
    return s;
}
} // namespace

FileDialog::FileDialog(Mode mode, QObject* parent) : QObject(parent), m_mode(mode) {}

QString FileDialog::startFolder() {
    return seam().lastFolder;
}

bool FileDialog::execute(QWidget* parent) {
    Seam& s = seam();
    // The name proposed, in the folder used last: Open proposes the file
    // opened last, which may lie elsewhere than where the user saved since.
    const bool folderMode = m_mode == Mode::Folder;
    const QString folder = s.lastFolder;
    const QString proposed = folder.isEmpty() || m_fileName.isEmpty() || folderMode
                                 ? m_fileName
                                 : QFileInfo(m_fileName).fileName();
    const auto chosen = [&](const QString& fileName) {
        m_fileName = fileName;
        const QFileInfo info(fileName);
        s.lastFolder = folderMode ? info.absoluteFilePath() : info.absolutePath();
        return true;
    };
    if (!s.answers.empty() || s.headless) {
        s.shown.append({m_mode, m_filter, proposed, folder});
        if (s.answers.empty())
            return false;
        const QString answer = s.answers.front();
        s.answers.pop_front();
        if (answer.isEmpty())
            return false;
        return chosen(answer);
    }

    QFileDialog dialog(parent);
    if (folderMode) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setDirectory(proposed.isEmpty() ? folder : proposed);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        return chosen(dialog.selectedFiles().constFirst());
    }
    dialog.setAcceptMode(m_mode == Mode::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Even for opening, a name that does not exist is accepted: reading it
    // then reports why it cannot be read.
    dialog.setFileMode(QFileDialog::AnyFile);
    // The description already names the patterns; Qt would repeat them.
    dialog.setOptions(QFileDialog::HideNameFilterDetails | QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(qtNameFilters(m_filter));
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
    if (!proposed.isEmpty())
        dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    return chosen(dialog.selectedFiles().constFirst());
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
    seam().lastFolder.clear();
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
