#pragma once

// A real window under the offscreen platform, with the dialogs and message
// boxes answered through their seams and Qt's own clipboard.
#include "QtPrinters.h"
#include "TestFiles.h"
#include "app/FileDialog.h"
#include "app/Form8.h"
#include "app/MemoView.h"
#include "app/MessageBox.h"
#include "app/QtClipboardPort.h"
#include "convert/LineSink.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "convert/ThreadKonvert.h"
#include "playlist/StringList.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace dorvane::testing {

inline const QString kProgress = QStringLiteral("Обработка данных ...");

// A playlist of `channels` channels with CR LF line breaks, names that need
// escaping in the XML targets, and a group line now and then.
inline QString playlist(int channels, const QString& prefix = QStringLiteral("Channel")) {
    QString text = QStringLiteral("#EXTM3U\r\n");
    text.reserve(channels * 64);
    for (int k = 0; k < channels; ++k) {
        text +=
            QStringLiteral("#EXTINF:-1 group-title=\"Кино & <TV>\",%1 %2\r\n").arg(prefix).arg(k);
        if (k % 7 == 3)
            text += QStringLiteral("#EXTGRP:Films\r\n");
        text += QStringLiteral("http://example.net/live/%1?a=1&b=2\r\n").arg(k);
    }
    return text;
}

// The text a run to `kind` over `source` must end with.
// `name` names the playlist: none for a pasted one.
inline QString convertedText(TTargetKind kind, const QString& source, const SourceName& name = {}) {
    TStringList lines, result;
    lines.setText(QStringView(source));
    StringListSink sink(result);
    convertLines(formatFor(kind), lines, sink, name);
    return result.Text(formatFor(kind).lineEndText());
}

// A caption as it is shown: without the "&" that marks its access key.
inline QString displayed(const QString& caption) {
    QString text;
    for (qsizetype k = 0; k < caption.size(); ++k) {
        if (caption[k] == u'&' && k + 1 < caption.size())
            ++k;
        text += caption[k];
    }
    return text;
}

// The text the window shows for a loaded source: its lines joined again.
inline QString joined(const QString& source) {
    TStringList lines;
    lines.setText(QStringView(source));
    return lines.Text();
}

class WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static QtClipboardPort clipboard;
        setClipboardPort(&clipboard);
        MessageBox::setHeadless(true);
        FileDialog::setHeadless(true);
    }

    void SetUp() override {
        MessageBox::clearShown();
        FileDialog::clearShown();
        newWindow();
    }

    // Replaces the window by a new one, shown and active.
    void newWindow() {
        form.reset();
        form = std::make_unique<TForm8>();
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    void TearDown() override { form.reset(); }

    template <typename T = QWidget> T* child(const QString& name) const {
        T* found = form->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QRadioButton* radio(int number) const {
        return child<QRadioButton>(QStringLiteral("sRadioButton%1").arg(number));
    }
    QRadioButton* radio(TTargetKind kind) const { return radio(static_cast<int>(kind) + 1); }
    MemoView* memo() const { return child<MemoView>(QStringLiteral("sMemo1")); }
    QAction* item(const char* name) const { return child<QAction>(QLatin1String(name)); }
    QString shown() const { return memo()->text(); }

    static QClipboard& clipboard() { return *QGuiApplication::clipboard(); }

    // Pastes the text as the user would: Ctrl+C in the text area.
    void pastePlaylist(const QString& text) {
        ASSERT_TRUE(radio(1)->isChecked());
        clipboard().setText(text);
        memo()->setFocus();
        QTest::keyClick(memo(), Qt::Key_C, Qt::ControlModifier);
    }

    // A file in a folder of its own that lives as long as the test.
    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(name);
        writeTestFile(path, bytes);
        return path;
    }

    // Opens the file through File > Open's shortcut, answering its dialog.
    void openFile(const QString& path, QWidget* focus = nullptr) {
        FileDialog::setNextFileName(path);
        QWidget* target = focus ? focus : memo();
        target->setFocus();
        QTest::keyClick(target, Qt::Key_O, Qt::ControlModifier);
    }

    void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

    // Drags the links over the window: whether it would take them.
    bool acceptsDrop(const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(form.get(), &enter);
        return enter.isAccepted();
    }
    // Drops the links on the window, as the user would once it takes them.
    void drop(const QList<QUrl>& urls) {
        ASSERT_TRUE(acceptsDrop(urls));
        QMimeData mime;
        mime.setUrls(urls);
        QDropEvent event(QPointF(300, 200), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &event);
    }

    // Waits for the run to end (or for `timeout` ms); true when it has.
    bool waitForRunEnd(int timeout = 60000) {
        return QTest::qWaitFor([&] { return form->convertThread() == nullptr; }, timeout);
    }

    std::unique_ptr<TForm8> form;

private:
    QTemporaryDir m_dir;
};

} // namespace dorvane::testing
