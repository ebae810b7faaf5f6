// Times choosing channels in the window, driven headless under the offscreen
// platform, on a big playlist (bench/gen-playlist 1000000 1 500: a million
// channels in 500 groups):
// - opening "Channels...": the index of the blocks built and the dialog shown;
// - typing in its search field, a character at a time: the longest the main
//   thread spent on one event, which is how long every other event waited;
// - moving groups and channels with Ctrl+Up and Ctrl+Down and renaming
//   channels and groups: the longest event, as for typing;
// - applying a choice of half the channels (half of the groups unchecked),
//   with "M3U Playlist" selected (the text area shows the chosen playlist)
//   and with "PLS Playlist" (its run started).
//
// Usage: dorvane-choose-bench [--reps N] PLAYLIST
#include "Figures.h"
#include "app/Application.h"
#include "app/ChannelsDialog.h"
#include "app/FileDialog.h"
#include "app/Form8.h"
#include "app/MessageBox.h"
#include "playlist/StringList.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRadioButton>
#include <QTreeView>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace dorvane;
using namespace dorvane::bench;

namespace {

constexpr double kOpenTargetMs = 1000;
constexpr double kTypingTargetMs = 100;
constexpr double kApplyTargetMs = 1000;

// The longest delivery of one event on the main thread while watched; an
// event sent from inside a handler belongs to the outer one.
class BenchApplication : public QApplication {
public:
    using QApplication::QApplication;

    void watch(bool on) {
        m_watching = on;
        if (on)
            m_longest = m_longestCpu = 0;
    }
    qint64 longest() const { return m_longest; }
    // The most CPU time the main thread spent on one event: on a busy
    // machine an event also waits for a CPU, which the wall clock counts.
    qint64 longestCpu() const { return m_longestCpu; }
    // The longest event's type and receiver.
    const QString& longestWhat() const { return m_longestWhat; }

    bool notify(QObject* receiver, QEvent* event) override {
        if (!m_watching || m_depth > 0 || QThread::currentThread() != thread()) {
            ++m_depth;
            const bool result = QApplication::notify(receiver, event);
            --m_depth;
            return result;
        }
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuStart = threadCpuNanoseconds();
        ++m_depth;
        const bool result = QApplication::notify(receiver, event);
        --m_depth;
        m_longestCpu = std::max(m_longestCpu, threadCpuNanoseconds() - cpuStart);
        if (clock.nsecsElapsed() > m_longest) {
            m_longest = clock.nsecsElapsed();
            m_longestWhat = QStringLiteral("%1 to %2")
                                .arg(int(event->type()))
                                .arg(QString::fromLatin1(receiver->metaObject()->className()));
        }
        return result;
    }

private:
    bool m_watching = false;
    int m_depth = 0;
    qint64 m_longest = 0;
    qint64 m_longestCpu = 0;
    QString m_longestWhat;
};

BenchApplication* benchApp() {
    return static_cast<BenchApplication*>(QCoreApplication::instance());
}

struct Round {
    double open = 0;
    double typing = 0; // the longest event while typing
    double typingCpu = 0;
    double editing = 0; // the longest event while moving and renaming
    double apply = 0;
    double applyCpu = 0; // the main thread's CPU time in it
    int shown = 0;       // channels the last search text showed
    int chosen = 0;
};

// Opens the dialog on the loaded playlist, types `search`, clears it,
// unchecks the second half of the groups and applies.
Round chooseHalf(TForm8& form, const QString& search) {
    Round round;
    QElapsedTimer clock;
    qint64 cpuStart = 0;
    ChannelsDialog::setDriver([&](ChannelsDialog& dialog) {
        QCoreApplication::processEvents(); // shown and painted
        round.open = ms(clock.nsecsElapsed());

        auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("search"));
        ChannelTreeModel* model = dialog.model();
        benchApp()->watch(true);
        for (const QChar c : search) {
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
            while (model->searching())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        round.shown = model->shownCount();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Backspace);
        QCoreApplication::processEvents();
        benchApp()->watch(false);
        round.typing = ms(benchApp()->longest());
        round.typingCpu = ms(benchApp()->longestCpu());

        // Moves and renames, through the keys where the dialog has them.
        auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("tree"));
        benchApp()->watch(true);
        const QModelIndex first = model->index(0, 0);
        tree->setCurrentIndex(first);
        for (int k = 0; k < 20; ++k)
            QTest::keyClick(tree, k < 10 ? Qt::Key_Down : Qt::Key_Up, Qt::ControlModifier);
        tree->expand(model->index(0, 0));
        tree->setCurrentIndex(model->index(0, 0, model->index(0, 0)));
        for (int k = 0; k < 20; ++k)
            QTest::keyClick(tree, k < 10 ? Qt::Key_Down : Qt::Key_Up, Qt::ControlModifier);
        for (int k = 0; k < 20; ++k) {
            model->setData(model->index(k, 0, model->index(0, 0)),
                           QStringLiteral("Renamed %1").arg(k), Qt::EditRole);
            model->setData(model->index(k, 0), QStringLiteral("Group renamed %1").arg(k),
                           Qt::EditRole);
            QCoreApplication::processEvents();
        }
        benchApp()->watch(false);
        round.editing = ms(benchApp()->longest());
        // Back as they were (the moves are already): the choice below is
        // applied without edits, as before.
        for (int k = 0; k < 20; ++k) {
            model->setData(model->index(k, 0, model->index(0, 0)), QString(), Qt::EditRole);
            model->setData(model->index(k, 0), QString(), Qt::EditRole);
        }

        const int groups = model->rowCount();
        for (int row = groups / 2; row < groups; ++row)
            model->setData(model->index(row, 0), Qt::Unchecked, Qt::CheckStateRole);
        round.chosen = model->chosenCount();
        clock.restart();
        cpuStart = threadCpuNanoseconds();
        dialog.accept();
    });
    clock.start();
    form.N8Click();
    round.apply = ms(clock.nsecsElapsed());
    round.applyCpu = ms(threadCpuNanoseconds() - cpuStart);
    ChannelsDialog::setDriver({});
    return round;
}

int measure(const QString& playlist, int reps) {
    MessageBox::setHeadless(true);
    FileDialog::setHeadless(true);
    const QString search = QStringLiteral("новости 4");
    std::vector<double> open, typing, typingCpu, editing, applyM3u, applyPls;
    int shown = 0, chosen = 0, total = 0;
    for (int rep = 0; rep < reps; ++rep) {
        for (const bool converting : {false, true}) {
            TForm8 form;
            form.show();
            form.loadPlaylistFile(playlist);
            total = form.sourceList()->Count();
            if (converting) {
                // Its run over the whole playlist ends first: its events are
                // not the dialog's.
                form.findChild<QRadioButton*>(QStringLiteral("sRadioButton7"))->setChecked(true);
                if (!QTest::qWaitFor([&] { return form.convertThread() == nullptr; }, 600000))
                    return 1;
            }
            const Round round = chooseHalf(form, search);
            (converting ? applyPls : applyM3u).push_back(round.apply);
            open.push_back(round.open);
            typing.push_back(round.typing);
            typingCpu.push_back(round.typingCpu);
            editing.push_back(round.editing);
            shown = round.shown;
            chosen = round.chosen;
            std::fprintf(stderr,
                         "round %d %s: open %.0f ms, typing %.0f ms (event %s; most CPU on one "
                         "event %.0f ms), editing %.0f ms, apply %.0f ms (CPU %.0f ms)\n",
                         rep, converting ? "pls" : "m3u", round.open, round.typing,
                         benchApp()->longestWhat().toUtf8().constData(), round.typingCpu,
                         round.editing, round.apply, round.applyCpu);
        }
    }
    const double openMs = median(open);
    const double typingMs = *std::max_element(typing.begin(), typing.end());
    std::printf(
        "playlist: %d lines of source; \"%s\" shows %d channels; half the groups: %d chosen\n",
        total, search.toUtf8().constData(), shown, chosen);
    std::printf("open Channels...           %7.0f ms (median)   target %.0f ms: %s\n", openMs,
                kOpenTargetMs, verdict(openMs <= kOpenTargetMs));
    std::printf("longest event while typing %7.0f ms (worst)    target %.0f ms: %s\n", typingMs,
                kTypingTargetMs, verdict(typingMs <= kTypingTargetMs));
    std::printf("  most CPU on one event    %7.0f ms (worst)\n",
                *std::max_element(typingCpu.begin(), typingCpu.end()));
    const double editingMs = *std::max_element(editing.begin(), editing.end());
    std::printf("longest event moving, renaming %3.0f ms (worst)    target %.0f ms: %s\n",
                editingMs, kTypingTargetMs, verdict(editingMs <= kTypingTargetMs));
    for (const auto& [name, values] :
         {std::pair{"M3U Playlist", applyM3u}, {"PLS, run started", applyPls}}) {
        const double applyMs = median(values);
        std::printf("apply half, %-16s%7.0f ms (median)   target %.0f ms: %s\n", name, applyMs,
                    kApplyTargetMs, verdict(applyMs <= kApplyTargetMs));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    dorvane::keepWindowMemory();
    BenchApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int reps = 3;
    if (args.size() == 3 && args.first() == QLatin1String("--reps")) {
        reps = std::max(1, args.at(1).toInt());
        args = args.mid(2);
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: dorvane-choose-bench [--reps N] PLAYLIST\n");
        return 2;
    }
    return measure(args.first(), reps);
}
