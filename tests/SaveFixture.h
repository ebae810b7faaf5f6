#pragma once

// The window with folders to save into and the means to read back what was
// saved.
#include "WindowFixture.h"
#include "TestFiles.h"

#include "output/Output.h"

#include <QDir>
#include <QFileInfo>

namespace dorvane::testing {

class SaveTest : public WindowTest {
protected:
    // A folder of that name in the test's own temporary folder, made when
    // first asked for.
    QString folder(const QString& name) const {
        const QString path = m_root.filePath(name);
        QDir().mkpath(path);
        return path;
    }

    // Saves through the Save button, or the given item, answering the dialog
    // with `chosen` (empty: cancelled).
    void save(const QString& chosen, QAction* through = nullptr) {
        FileDialog::setNextFileName(chosen);
        if (through)
            through->trigger();
        else
            click(child(QStringLiteral("sButton1")));
    }

    static QByteArray bytesOf(const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        return file.readAll();
    }

    static void writeBytes(const QString& path, const QByteArray& bytes) {
        writeTestFile(path, bytes);
    }

    // Everything in the folder, hidden entries too, by name.
    static QStringList filesIn(const QString& dir) {
        return QDir(dir).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

private:
    QTemporaryDir m_root;
};

} // namespace dorvane::testing
