// Times the window on a big playlist, driven headless under the offscreen
// platform: opening it, each converting target's run against the same
// conversion done in one go, how long the main thread went without serving an
// event during a run, and showing the text in the text area.
//
// Usage: dorvane-window-bench [--reps N] PLAYLIST
//        dorvane-window-bench --open-peak PLAYLIST
//        dorvane-window-bench --read-split PLAYLIST
// The second form opens the playlist once in a fresh process and reports the
// time and the process's peak memory against the file's size; the third is
// the yardstick for that time: the file read whole into fresh memory and
// split into lines (where each starts), nothing else, in a fresh process.
// bench/run-window-open runs the two in turns.
#include "Figures.h"
#include "app/Application.h"
#include "app/FileDialog.h"
#include "app/Form8.h"
#include "app/MemoView.h"
#include "app/MessageBox.h"
#include "convert/LineSink.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "convert/ThreadKonvert.h"
#include "playlist/MemoryAdvice.h"
#include "playlist/StringList.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

using namespace dorvane;
using namespace dorvane::bench;

namespace {

constexpr double kOverheadTarget = 1.25;   // run against the direct conversion
constexpr double kEventGapTargetMs = 50.0; // main thread without an event
constexpr double kShowTargetMs = 300.0;    // the 100k text into the text area
constexpr double kMemoryTarget = 2.5;      // peak memory against the file

// The main thread's event deliveries, timed where they start and end. Nested
// deliveries (an event sent from inside a handler) belong to the outer one:
// the main thread is busy with that handler all the same.
class BenchApplication : public QApplication {
public:
    using QApplication::QApplication;

    // Starts timing the deliveries; `running` tells the delivery that ends the
    // run (the end-of-run step) from the others.
    void startWatch(std::function<bool()> running) {
        m_running = std::move(running);
        m_clock.start();
        m_lastStart = -1;
        m_longestGap = 0;
        m_longestGapCpu = 0;
        m_finalStep = 0;
        m_finalSeen = false;
        m_lastWasFinal = false;
        m_watching = true;
    }
    void stopWatch() { m_watching = false; }

    // The longest time from the start of one delivery to the start of the
    // next, the end-of-run step excluded.
    qint64 longestGap() const { return m_longestGap; }
    // The main thread's CPU time within that gap: far less than the gap means
    // the thread was waiting for a CPU, not working.
    qint64 longestGapCpu() const { return m_longestGapCpu; }
    // How long the delivery that held the end-of-run step took.
    qint64 finalStep() const { return m_finalStep; }

    bool notify(QObject* receiver, QEvent* event) override {
        if (!m_watching || m_depth > 0 || QThread::currentThread() != thread()) {
            ++m_depth;
            const bool result = QApplication::notify(receiver, event);
            --m_depth;
            return result;
        }
        const qint64 start = m_clock.nsecsElapsed();
        const qint64 startCpu = threadCpuNanoseconds();
        if (m_lastStart >= 0 && !m_lastWasFinal && start - m_lastStart > m_longestGap) {
            m_longestGap = start - m_lastStart;
            m_longestGapCpu = startCpu - m_lastStartCpu;
        }
        m_lastStart = start;
        m_lastStartCpu = startCpu;
        const bool wasRunning = m_running();
        ++m_depth;
        const bool result = QApplication::notify(receiver, event);
        --m_depth;
        m_lastWasFinal = wasRunning && !m_running() && !m_finalSeen;
        if (m_lastWasFinal) {
            m_finalSeen = true;
            m_finalStep = m_clock.nsecsElapsed() - start;
        }
        return result;
    }

private:
    std::function<bool()> m_running;
    QElapsedTimer m_clock;
    qint64 m_lastStart = -1;
    qint64 m_lastStartCpu = 0;
    qint64 m_longestGap = 0;
    qint64 m_longestGapCpu = 0;
    qint64 m_finalStep = 0;
    bool m_lastWasFinal = false;
    bool m_finalSeen = false;
    bool m_watching = false;
    int m_depth = 0;
};

BenchApplication* benchApp() {
    return static_cast<BenchApplication*>(QCoreApplication::instance());
}

// Kilobytes of a field of /proc/self/status ("VmHWM", "VmRSS").
long statusKilobytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

class WindowBench {
public:
    WindowBench() {
        MessageBox::setHeadless(true);
        FileDialog::setHeadless(true);
        m_form = std::make_unique<TForm8>();
        m_form->show();
        m_form->activateWindow();
        if (!QTest::qWaitForWindowActive(m_form.get()))
            std::fprintf(stderr, "the window did not become active\n");
        settle();
        m_memo = m_form->findChild<MemoView*>(QStringLiteral("sMemo1"));
        m_count = m_form->findChild<QLabel*>(QStringLiteral("sLabel2"));
        if (!m_memo || !m_count) {
            std::fprintf(stderr, "the window has no sMemo1 or sLabel2\n");
            std::exit(1);
        }
    }

    TForm8& form() { return *m_form; }
    MemoView& memo() { return *m_memo; }

    // Runs what is waiting on the event loop.
    void settle() {
        for (int k = 0; k < 3; ++k)
            QCoreApplication::processEvents();
    }

    QRadioButton* radio(TTargetKind kind) const {
        return m_form->findChild<QRadioButton*>(
            QStringLiteral("sRadioButton%1").arg(static_cast<int>(kind) + 1));
    }

    // File > Open with its dialog answered: the time from the accepted dialog
    // to the count and the text shown and painted.
    qint64 open(const QString& path) {
        m_form->N5Click(); // Clear, so that the text shown changes
        settle();
        m_sourceName = SourceName::ofFile(path);
        FileDialog::setNextFileName(path);
        QElapsedTimer clock;
        clock.start();
        m_form->N2Click();
        m_count->repaint();
        m_memo->viewport()->repaint();
        const qint64 took = clock.nsecsElapsed();
        if (m_count->text().isEmpty() || m_memo->lineCount() == 0) {
            std::fprintf(stderr, "%s did not open as a playlist\n", qPrintable(path));
            std::exit(1);
        }
        settle();
        return took;
    }

    struct Run {
        qint64 wall;          // click to result shown and painted
        qint64 longestGap;    // main thread without an event, final step excluded
        qint64 longestGapCpu; // the main thread's CPU time in that gap
        qint64 finalStep;     // the end-of-run step's delivery
    };

    // Clicks the target's radio button and waits for the result to be shown.
    // A 1 ms timer keeps events coming, so a gap is time the main thread
    // spent on something else, not time it had nothing to do.
    Run run(TTargetKind kind) {
        QTest::mouseClick(radio(TTargetKind::tkM3U), Qt::LeftButton); // the source, no run
        settle();
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [] {});
        ticker.start();
        benchApp()->startWatch([this] { return m_form->convertThread() != nullptr; });

        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(radio(kind), Qt::LeftButton);
        while (m_form->convertThread())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        m_memo->viewport()->repaint();
        const qint64 wall = clock.nsecsElapsed();

        benchApp()->stopWatch();
        ticker.stop();
        settle();
        return {wall, benchApp()->longestGap(), benchApp()->longestGapCpu(),
                benchApp()->finalStep()};
    }

    // The same conversion on the main thread in one go, shown the same way.
    qint64 direct(TTargetKind kind, QString* text = nullptr) {
        const TStringList& source = *m_form->sourceList();
        m_memo->setText(QStringLiteral("…"));
        settle();
        QElapsedTimer clock;
        clock.start();
        TStringList result;
        StringListSink sink(result);
        convertLines(formatFor(kind), source, sink, m_sourceName);
        m_memo->setLines(result, formatFor(kind).lineEndText());
        m_memo->viewport()->repaint();
        const qint64 took = clock.nsecsElapsed();
        if (text)
            *text = m_memo->text();
        settle();
        return took;
    }

    // The text put into the text area and painted, from an empty one.
    qint64 show(const QString& text) {
        m_memo->setText(QString());
        m_memo->viewport()->repaint();
        settle();
        QElapsedTimer clock;
        clock.start();
        m_memo->setText(text);
        m_memo->viewport()->repaint();
        const qint64 took = clock.nsecsElapsed();
        settle();
        return took;
    }

private:
    std::unique_ptr<TForm8> m_form;
    SourceName m_sourceName; // of the playlist opened last
    MemoView* m_memo = nullptr;
    QLabel* m_count = nullptr;
};

int openPeak(const QString& path) {
    const double fileBytes = static_cast<double>(QFileInfo(path).size());
    WindowBench bench;
    const long before = statusKilobytes("VmHWM");
    const qint64 took = bench.open(path);
    const long peak = statusKilobytes("VmHWM");
    const double ratio = peak * 1024.0 / fileBytes;
    std::printf("open %.0f MB: %.2f s, %lld lines shown; peak memory %.0f MB (%.0f MB before "
                "opening) = %.2f x the file (target <= %.1f x: %s)\n",
                fileBytes / 1e6, ms(took) / 1000, static_cast<long long>(bench.memo().lineCount()),
                peak * 1024.0 / 1e6, before * 1024.0 / 1e6, ratio, kMemoryTarget,
                verdict(ratio <= kMemoryTarget));
    return 0;
}

// Reading the file and splitting it into lines, and nothing else: into
// memory advised for huge pages, as the window's text is, so that the two
// pay the same for fresh pages.
int readSplit(const QString& path) {
    QElapsedTimer clock;
    clock.start();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return 1;
    }
    const qsizetype size = file.size();
    const std::unique_ptr<char[]> bytes(new char[size_t(size) + 1]);
    adviseHugePages(bytes.get(), size);
    qsizetype got = 0;
    for (qint64 n; got < size && (n = file.read(bytes.get() + got, size - got)) > 0;)
        got += n;
    std::vector<qsizetype> starts{0};
    for (const char *p = bytes.get(), *end = p + got;
         (p = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)))) != nullptr;)
        starts.push_back(++p - bytes.get());
    const qint64 took = clock.nsecsElapsed();
    std::printf("read and split %.0f MB: %.2f s, %zu lines; peak memory %.0f MB\n", got / 1e6,
                ms(took) / 1000, starts.size() - 1, statusKilobytes("VmHWM") * 1024.0 / 1e6);
    return 0;
}

int measure(const QString& path, int reps) {
    const double fileBytes = static_cast<double>(QFileInfo(path).size());
    WindowBench bench;

    std::vector<double> opens;
    for (int r = 0; r < reps; ++r)
        opens.push_back(ms(bench.open(path)));
    std::printf("playlist: %s, %.1f MB, %d lines; medians of %d runs\n\n", qPrintable(path),
                fileBytes / 1e6, bench.form().sourceList()->Count(), reps);
    std::printf("Open, accepted dialog to count and text shown: %.0f ms\n", median(opens));

    const QString source = bench.memo().text();
    std::vector<double> shows;
    for (int r = 0; r < reps; ++r)
        shows.push_back(ms(bench.show(source)));
    const double show = median(shows);
    std::printf("Text into sMemo1 and first paint: %.0f ms (target <= %.0f ms: %s)\n\n", show,
                kShowTargetMs, verdict(show <= kShowTargetMs));

    std::printf("| Target | Run, click to result shown | Same conversion, no hand-offs | "
                "Run / direct | Longest time without an event (CPU) | End-of-run step |\n");
    std::printf("|---|---|---|---|---|---|\n");
    bool overheadMet = true, gapMet = true;
    double worstRatio = 0, worstGap = 0;
    for (int k = 0; k < kTargetCount; ++k) {
        const auto kind = static_cast<TTargetKind>(k);
        if (!formatFor(kind).converts())
            continue;
        std::vector<double> walls, directs, ratios, gaps, gapCpus, finals;
        for (int r = 0; r < reps; ++r) {
            // Taken back to back, in turns first and second, so that the
            // ratio sees the same machine load.
            qint64 direct = 0;
            QString expected;
            if (r % 2)
                direct = bench.direct(kind);
            const WindowBench::Run run = bench.run(kind);
            const QString shown = r == 0 ? bench.memo().text() : QString();
            if (r % 2 == 0)
                direct = bench.direct(kind, r == 0 ? &expected : nullptr);
            if (r == 0 && shown != expected) {
                std::fprintf(stderr,
                             "%s: the window showed another text than the direct "
                             "conversion\n",
                             qPrintable(formatFor(kind).caption().toString()));
                return 1;
            }
            walls.push_back(ms(run.wall));
            directs.push_back(ms(direct));
            ratios.push_back(static_cast<double>(run.wall) / static_cast<double>(direct));
            gaps.push_back(ms(run.longestGap));
            gapCpus.push_back(ms(run.longestGapCpu));
            finals.push_back(ms(run.finalStep));
        }
        const double ratio = median(ratios), gap = median(gaps);
        worstRatio = std::max(worstRatio, ratio);
        worstGap = std::max(worstGap, gap);
        overheadMet = overheadMet && ratio <= kOverheadTarget;
        gapMet = gapMet && gap <= kEventGapTargetMs;
        std::printf("| %s | %.0f ms | %.0f ms | %.2f | %.1f ms (%.1f ms) | %.0f ms |\n",
                    qPrintable(formatFor(kind).caption().toString()), median(walls),
                    median(directs), ratio, gap, median(gapCpus), median(finals));
        std::fflush(stdout);
    }
    std::printf("\nHand-off overhead: worst target %+.0f %% (target <= %+.0f %%: %s)\n",
                (worstRatio - 1) * 100, (kOverheadTarget - 1) * 100, verdict(overheadMet));
    std::printf("Longest time without an event: worst target %.1f ms (target <= %.0f ms: %s)\n",
                worstGap, kEventGapTargetMs, verdict(gapMet));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    dorvane::keepWindowMemory();
    BenchApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int reps = 5;
    bool peak = false;
    bool yardstick = false;
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--reps") && !args.isEmpty())
            reps = std::max(1, args.takeFirst().toInt());
        else if (option == QLatin1String("--open-peak"))
            peak = true;
        else if (option == QLatin1String("--read-split"))
            yardstick = true;
        else
            args.clear();
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: dorvane-window-bench [--reps N] PLAYLIST\n"
                             "       dorvane-window-bench --open-peak PLAYLIST\n"
                             "       dorvane-window-bench --read-split PLAYLIST\n");
        return 2;
    }
    if (yardstick)
        return readSplit(args.first());
    return peak ? openPeak(args.first()) : measure(args.first(), reps);
}
