// A long random walk through the real window, as a user would take it: open,
// paste, clear, select targets, save, copy, close and reopen, in any order and
// often while a run is still working. After every step the window must be in
// a state it may be in, and no run may be left behind.
//
// DORVANE_SOAK_STEPS sets the number of steps (10000 by default) and
// DORVANE_SOAK_SEED replays a walk; the seed is printed at the start and with
// every failure.
#include "SaveFixture.h"

#include "output/Output.h"
#include "playlist/Encoding.h"
#include "playlist/TextFile.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMenuBar>
#include <QPointer>

#include <cstdio>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <tuple>

using namespace dorvane;
using namespace dorvane::testing;
using namespace Qt::StringLiterals;

namespace {

// The text area, the targets, Save, the check box and Copy to buffer:
// the controls the arrow keys walk, in tab order.
constexpr int kTabOrderCount = kTargetCount + 4;

// What the window holds after an intake: its source text and its count label.
struct Source {
    const char* name;
    QString text; // as the window receives it, before it is split into lines
    QString label;
    QString joined; // the text area after the intake
    // A playlist without channels is said to be none, and is not kept.
    bool loaded() const { return !label.isEmpty() && label != u"Каналы не найдены"; }
};

// One way of taking a playlist in, and what it must give.
struct Intake {
    const char* name;
    QString path;      // Open: the file chosen; empty for Paste
    QString clipboard; // Paste: the clipboard's text
    bool noText;       // Paste: the clipboard holds no text at all
    int source;        // index into the sources
    int weight;
};

// What the text area shows while no run exists.
enum class Shows { Source, Target };

struct Model {
    int source = 0; // no playlist
    TTargetKind selected = TTargetKind::tkM3U;
    Shows shows = Shows::Source;
    bool utf8 = true;
    QString openProposal;  // the open dialog keeps the last chosen name
    SourceName sourceName; // the file opened last, or none for Paste
};

std::string captionOf(TTargetKind kind) {
    return formatFor(kind).caption().toString().toStdString();
}

bool isConverting(TTargetKind kind) {
    return kind != TTargetKind::tkM3U && kind != TTargetKind::tkM3U8;
}

std::uint32_t soakSeed() {
    const QByteArray given = qgetenv("DORVANE_SOAK_SEED");
    bool ok = false;
    const std::uint32_t seed = given.toUInt(&ok);
    if (ok)
        return seed;
    return std::random_device{}() ^ static_cast<std::uint32_t>(QDateTime::currentMSecsSinceEpoch());
}

int soakSteps() {
    bool ok = false;
    const int steps = qEnvironmentVariableIntValue("DORVANE_SOAK_STEPS", &ok);
    return ok && steps > 0 ? steps : 10000;
}

QByteArray fixtureBytes(const char* name) {
    QFile file(QStringLiteral(DORVANE_TEST_DATA "/soak/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Equal texts, or where they part: a whole converted playlist is too long to
// print.
::testing::AssertionResult sameText(const QString& actual, const QString& expected) {
    if (actual == expected)
        return ::testing::AssertionSuccess();
    qsizetype at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    auto around = [at](const QString& text) {
        return text.mid(std::max<qsizetype>(0, at - 30), 80).toStdString();
    };
    return ::testing::AssertionFailure()
           << "text of " << actual.size() << " characters where " << expected.size()
           << " were expected; they part at " << at << ":\n  shown:    \"" << around(actual)
           << "\"\n  expected: \"" << around(expected) << "\"";
}

// The offscreen platform says so each time a menu pops up or a window is
// made; thousands of those lines would bury a failure.
QtMessageHandler g_previousHandler = nullptr;
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(u"This plugin does not support"))
        return;
    g_previousHandler(type, context, message);
}

class SoakTest : public SaveTest {
protected:
    void SetUp() override {
        g_previousHandler = qInstallMessageHandler(quietHandler);
        SaveTest::SetUp();
        makeSources();
        m_seed = soakSeed();
        m_random.seed(m_seed);
        std::printf("[ soak     ] seed %u, %d steps (replay with DORVANE_SOAK_SEED=%u)\n", m_seed,
                    soakSteps(), m_seed);
        std::fflush(stdout);
    }

    void TearDown() override {
        SaveTest::TearDown();
        qInstallMessageHandler(g_previousHandler);
    }

    void makeSources() {
        auto add = [&](const char* name, const QString& text, const QString& label) {
            m_sources.push_back({name, text, label, label.isEmpty() ? QString() : joined(text)});
            return static_cast<int>(m_sources.size()) - 1;
        };
        add("no playlist", QString(), QString());
        const int none = add("no channels found", QString(), u"Каналы не найдены"_s);

        const QByteArray normalBytes = fixtureBytes("normal.m3u");
        const QByteArray radioBytes = fixtureBytes("radio.m3u");
        const QByteArray noChannelBytes = fixtureBytes("no-channels.m3u");
        const QByteArray cyrillicBytes = fixtureBytes("cyrillic-1251.m3u");
        ASSERT_TRUE(normalBytes.startsWith("\xEF\xBB\xBF"));
        ASSERT_FALSE(radioBytes.isEmpty());
        ASSERT_FALSE(noChannelBytes.isEmpty());
        ASSERT_FALSE(cyrillicBytes.isEmpty());
        const QString normalText = decodeUtf8Strict(normalBytes.mid(3));
        const QString radioText = decodeUtf8Strict(radioBytes);
        const QString noChannelText = decodeUtf8Strict(noChannelBytes);
        const QString cyrillicText = TEncoding::ansi(1251)->GetString(cyrillicBytes);

        // Big enough that a run over it spans many hand-offs: the next step
        // usually meets it half-way.
        const QString bigText = playlist(20000, u"Big"_s);
        const QString bigPath = folder(u"open"_s) + u"/big.m3u"_s;
        writeBytes(bigPath, bigText.toUtf8());
        const QString emptyPath = folder(u"open"_s) + u"/empty.m3u"_s;
        writeBytes(emptyPath, QByteArray());

        const int normal = add("normal", normalText, u"7 каналов"_s);
        const int radio = add("radio", radioText, u"1 канал"_s);
        const int cyrillic = add("cyrillic", cyrillicText, u"4 канала"_s);
        // A file that is not UTF-8 is read in the ANSI code page.
        const int cyrillicFile =
            add("cyrillic-1251.m3u as read", decodeFileBytes(cyrillicBytes, TEncoding::UTF8()),
                u"4 канала"_s);
        const int big = add("big", bigText, u"20000 каналов"_s);

        auto file = [](const char* name) {
            return QStringLiteral(DORVANE_TEST_DATA "/soak/") + QLatin1String(name);
        };
        m_opens = {
            {"normal.m3u", file("normal.m3u"), {}, false, normal, 30},
            {"radio.m3u", file("radio.m3u"), {}, false, radio, 20},
            {"no-channels.m3u", file("no-channels.m3u"), {}, false, none, 12},
            {"cyrillic-1251.m3u", file("cyrillic-1251.m3u"), {}, false, cyrillicFile, 10},
            {"empty.m3u", emptyPath, {}, false, none, 4},
            {"big.m3u", bigPath, {}, false, big, 6},
        };
        m_pastes = {
            {"normal", {}, normalText, false, normal, 28},
            {"radio", {}, radioText, false, radio, 18},
            {"cyrillic", {}, cyrillicText, false, cyrillic, 18},
            {"no channels", {}, noChannelText, false, none, 10},
            {"prose", {}, u"Just some words, no playlist."_s, false, none, 4},
            {"empty text", {}, QString(), false, none, 4},
            {"no text", {}, QString(), true, none, 4},
            {"big", {}, bigText, false, big, 5},
        };
        m_missing = folder(u"open"_s) + u"/missing.m3u"_s;
    }

    // --- randomness -------------------------------------------------------

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T> const T& pickWeighted(const std::vector<T>& items) {
        int total = 0;
        for (const T& item : items)
            total += item.weight;
        int at = below(total);
        for (const T& item : items) {
            if (at < item.weight)
                return item;
            at -= item.weight;
        }
        return items.back();
    }

    // --- the window's controls ------------------------------------------

    const Source& source() const { return m_sources[m_model.source]; }
    bool loaded() const { return source().loaded(); }
    QAbstractButton* button(const char* name) const {
        return child<QAbstractButton>(QLatin1String(name));
    }
    QMenu* menu(const char* name) const { return child<QMenu>(QLatin1String(name)); }

    // The controls the arrow keys walk, in tab order.
    QWidget* tabStop(int index) const {
        if (index == 0)
            return memo();
        if (index <= kTargetCount)
            return radio(index);
        static const char* const last[] = {"sButton1", "sCheckBox1", "sButton3"};
        return child(QLatin1String(last[index - kTargetCount - 1]));
    }
    // "Save as UTF8" is offered only where the target may be written in the
    // code page.
    bool encodingChoosable() const { return formatFor(m_model.selected).allowsAnsi(); }
    bool tabStopEnabled(int index) const {
        if (index <= 1)
            return true; // the text area, "M3U Playlist"
        if (index == kTargetCount + 2)
            return encodingChoosable();
        return loaded();
    }

    // A control the user can give the focus to with Tab or a click without
    // changing anything: one that is enabled and not an unchecked target.
    QWidget* anyFocus() {
        std::vector<QWidget*> candidates = {memo()};
        if (encodingChoosable())
            candidates.push_back(child(u"sCheckBox1"_s));
        QRadioButton* checked = radio(m_model.selected);
        if (m_model.selected == TTargetKind::tkM3U || loaded())
            candidates.push_back(checked);
        if (loaded()) {
            candidates.push_back(child(u"sButton1"_s));
            candidates.push_back(child(u"sButton3"_s));
        }
        return candidates[below(static_cast<int>(candidates.size()))];
    }

    void focus(QWidget* widget) {
        widget->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(form->focusWidget(), widget) << widget->objectName().toStdString();
    }

    // Chooses an item of the File menu, opened from the menu bar with the
    // mouse; an item that is disabled leaves the menu open, and it is closed.
    void chooseFromFileMenu(const char* name) {
        QMenuBar* bar = form->menuBar();
        QMenu* file = menu("N1");
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(file->menuAction()).center());
        ASSERT_TRUE(file->isVisible());
        clickMenuItem(file, item(name));
    }

    // Opens the text area's context menu as a right click does, and chooses
    // the item.
    void chooseFromContextMenu(const char* name) {
        QWidget* viewport = memo()->viewport();
        const QPoint at(40, 40);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &event);
        QMenu* popup = menu("PopupMenu1");
        ASSERT_TRUE(popup->isVisible());
        clickMenuItem(popup, item(name));
    }

    void clickMenuItem(QMenu* open, QAction* chosen) {
        const QPoint at = open->actionGeometry(chosen).center();
        QTest::mouseClick(open, Qt::LeftButton, {}, at);
        if (open->isVisible())
            open->hide();
    }

    void setClipboard(const Intake& paste) {
        if (paste.noText)
            clipboard().clear();
        else
            clipboard().setText(paste.clipboard);
    }

    // --- the model ------------------------------------------------------

    // A playlist taken in under a converting target is converted for it.
    void takeIntake(int index, const SourceName& name) {
        m_model.source = index;
        m_model.sourceName = name;
        const bool converts = loaded() && isConverting(m_model.selected);
        m_model.shows = converts ? Shows::Target : Shows::Source;
        if (converts)
            ++m_stats.runsStarted;
    }

    void select(TTargetKind kind) {
        if (kind == m_model.selected)
            return; // checking the checked button runs nothing
        m_model.selected = kind;
        m_model.shows = isConverting(kind) ? Shows::Target : Shows::Source;
        if (isConverting(kind))
            ++m_stats.runsStarted;
    }

    const QString& converted(TTargetKind kind) {
        const auto key = std::make_tuple(m_model.source, static_cast<int>(kind),
                                         m_model.sourceName.text().toString());
        auto found = m_converted.find(key);
        if (found == m_converted.end())
            found = m_converted.emplace(key, convertedText(kind, source().text, m_model.sourceName))
                        .first;
        return found->second;
    }

    // --- invariants -----------------------------------------------------

    // Every run the window makes is seen here, right after the step that
    // started it, before events could end it.
    void noteRun() {
        const TThreadKonvert* run = form ? form->convertThread() : nullptr;
        if (!run)
            return;
        for (const auto& seen : m_runs)
            if (seen == run)
                return;
        m_runs.emplace_back(run);
    }

    // A run that is not the window's current one must be gone: stopped runs at
    // once, runs that ended on their own as soon as the event loop has come
    // round.
    void checkNoRunLeftBehind() {
        const TThreadKonvert* current = form ? form->convertThread() : nullptr;
        auto leftBehind = [&] {
            return std::any_of(m_runs.begin(), m_runs.end(), [&](const auto& run) {
                return !run.isNull() && run.data() != current;
            });
        };
        EXPECT_TRUE(!leftBehind() || QTest::qWaitFor([&] { return !leftBehind(); }, 5000))
            << "a run outlived its stop or its end";
        std::erase_if(m_runs, [](const auto& run) { return run.isNull(); });
    }

    void checkWindow() {
        // Exactly one target checked, and it is the one selected last.
        int checked = 0;
        for (int number = 1; number <= kTargetCount; ++number)
            checked += radio(number)->isChecked() ? 1 : 0;
        EXPECT_EQ(checked, 1);
        EXPECT_TRUE(radio(m_model.selected)->isChecked()) << captionOf(m_model.selected);
        EXPECT_EQ(captionOf(form->selectedTarget()), captionOf(m_model.selected));

        // The count label tells the playlist state; the status picture and
        // the enabling table follow it.
        const QString label = child<QLabel>(u"sLabel2"_s)->text();
        const bool labelled = loaded();
        EXPECT_EQ(label, source().label);
        EXPECT_EQ(!child(u"sImage2"_s)->isHidden(), labelled) << "sImage2";
        EXPECT_TRUE(radio(1)->isEnabled());
        for (int number = 2; number <= kTargetCount; ++number)
            EXPECT_EQ(radio(number)->isEnabled(), labelled) << "sRadioButton" << number;
        EXPECT_EQ(button("sButton1")->isEnabled(), labelled);
        EXPECT_EQ(button("sButton3")->isEnabled(), labelled);
        EXPECT_EQ(button("sCheckBox1")->isEnabled(), encodingChoosable());
        // Ticked while disabled: the target is always written in UTF-8.
        EXPECT_EQ(button("sCheckBox1")->isChecked(), m_model.utf8 || !encodingChoosable());
        EXPECT_TRUE(sameText(form->sourceList()->Text(), source().joined)) << "SourceList";

        // The text area: progress while a run works; otherwise the source or
        // the selected target's converted text, as the last step left it.
        const QString text = shown();
        if (const TThreadKonvert* run = form->convertThread()) {
            EXPECT_FALSE(run->ended()) << "a run ended by an error";
            EXPECT_TRUE(m_model.shows == Shows::Target && isConverting(m_model.selected))
                << "a run exists although none was started";
            EXPECT_EQ(text, kProgress);
        } else if (m_model.shows == Shows::Target) {
            EXPECT_TRUE(sameText(text, converted(m_model.selected)));
            EXPECT_TRUE(
                sameText(form->resultList()->Text(formatFor(m_model.selected).lineEndText()), text))
                << "ResultList";
        } else {
            EXPECT_TRUE(sameText(text, source().joined));
        }

        EXPECT_EQ(MessageBox::shown().size(), m_expectedBoxes) << "unexpected message box";
        checkNoRunLeftBehind();
    }

    // --- steps --------------------------------------------------------------

    void stepOpen() {
        const int kind = below(100);
        QString path;
        const Intake* intake = nullptr;
        if (kind < 8) {
            m_step = "Open, cancelled";
        } else if (kind < 13) {
            path = m_missing;
            m_step = "Open a missing file";
        } else {
            intake = &pickWeighted(m_opens);
            path = intake->path;
            m_step = std::string("Open ") + intake->name;
        }
        const bool throughMenu = chance(25);
        QWidget* focused = anyFocus();
        m_step += throughMenu ? " (File menu)"
                              : " (Ctrl+O in " + focused->objectName().toStdString() + ")";

        FileDialog::clearShown();
        FileDialog::setNextFileName(path);
        if (throughMenu) {
            chooseFromFileMenu("N2");
        } else {
            focus(focused);
            QTest::keyClick(focused, Qt::Key_O, Qt::ControlModifier);
        }
        ASSERT_EQ(FileDialog::shown().size(), 1);
        EXPECT_EQ(FileDialog::shown()[0].mode, FileDialog::Mode::Open);
        EXPECT_EQ(FileDialog::shown()[0].fileName, m_model.openProposal);
        if (path.isEmpty())
            return;
        m_model.openProposal = path;
        if (!intake) {
            ++m_expectedBoxes;
            ASSERT_EQ(MessageBox::shown().size(), m_expectedBoxes);
            EXPECT_TRUE(MessageBox::shown().constLast().text.startsWith(
                u"Cannot open file \"%1\". "_s.arg(path)))
                << MessageBox::shown().constLast().text.toStdString();
            return;
        }
        takeIntake(intake->source, SourceName::ofFile(path));
    }

    void stepPaste() {
        const Intake& paste = pickWeighted(m_pastes);
        const bool throughMenu = chance(25);
        m_step =
            std::string("Paste ") + paste.name + (throughMenu ? " (context menu)" : " (Ctrl+C)");
        setClipboard(paste);
        if (throughMenu) {
            chooseFromContextMenu("N4");
        } else {
            focus(memo());
            QTest::keyClick(memo(), Qt::Key_C, Qt::ControlModifier);
        }
        // Paste is offered only while "M3U Playlist" is selected.
        if (m_model.selected == TTargetKind::tkM3U)
            takeIntake(paste.source, SourceName());
    }

    void stepClear() {
        const bool throughMenu = chance(30);
        m_step = throughMenu ? "Clear (context menu)" : "Clear (Ctrl+H)";
        if (throughMenu) {
            chooseFromContextMenu("N5");
        } else {
            focus(memo());
            QTest::keyClick(memo(), Qt::Key_H, Qt::ControlModifier);
        }
        m_model.source = 0;
        select(TTargetKind::tkM3U);
        m_model.shows = Shows::Source;
    }

    void stepClickTarget() {
        const int number = 1 + below(kTargetCount);
        const auto kind = static_cast<TTargetKind>(number - 1);
        m_step = "click " + captionOf(kind);
        click(radio(number));
        if (number == 1 || loaded())
            select(kind);
    }

    // The arrow keys walk the enabled controls in tab order, and stepping onto
    // a target selects it.
    void stepArrowKey() {
        std::vector<int> starts;
        if (tabStopEnabled(kTabOrderCount - 2))
            starts.push_back(kTabOrderCount - 2); // the check box
        const int checkedStop = static_cast<int>(m_model.selected) + 1;
        if (tabStopEnabled(checkedStop))
            starts.push_back(checkedStop);
        if (loaded()) {
            starts.push_back(kTabOrderCount - 3);
            starts.push_back(kTabOrderCount - 1);
        }
        m_step = "arrow key, with no control but the text area to start from";
        if (starts.empty())
            return;
        const int from = starts[below(static_cast<int>(starts.size()))];
        static const Qt::Key keys[] = {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left, Qt::Key_Up};
        const Qt::Key key = keys[below(4)];
        const bool forward = key == Qt::Key_Right || key == Qt::Key_Down;
        m_step = "arrow " + std::string(forward ? "forward" : "back") + " from " +
                 tabStop(from)->objectName().toStdString();

        int to = from;
        do
            to = (to + (forward ? 1 : kTabOrderCount - 1)) % kTabOrderCount;
        while (!tabStopEnabled(to));

        focus(tabStop(from));
        QTest::keyClick(tabStop(from), key);
        EXPECT_EQ(form->focusWidget(), tabStop(to)) << tabStop(to)->objectName().toStdString();
        if (to >= 1 && to <= kTargetCount)
            select(static_cast<TTargetKind>(to - 1));
    }

    void stepSpaceOnSelected() {
        m_step = "Space on the selected target";
        if (m_model.selected != TTargetKind::tkM3U && !loaded())
            return; // a disabled button takes no focus
        focus(radio(m_model.selected));
        QTest::keyClick(radio(m_model.selected), Qt::Key_Space);
    }

    void stepSave() {
        const int way = below(3);
        static const char* const ways[] = {" (Save button)", " (Ctrl+S)", " (File menu)"};
        const TargetFormat& format = formatFor(m_model.selected);
        const QStringView extension = format.extension();

        QString chosen;
        if (!chance(10)) {
            QStringList names = {u"list"_s, u"list.m3u"_s, u"saved.txt"_s, u"Плейлист"_s};
            if (m_model.selected != TTargetKind::tkU2CRadio)
                names.append(format.defaultFileName()); // the proposal, accepted
            chosen = folder(u"saved"_s) + u'/' + names[below(static_cast<int>(names.size()))];
        }
        const QString fileName = finalSaveFileName(chosen, extension);
        const bool replaces = !chosen.isEmpty() && replacesExistingFile(fileName);
        const bool replace = replaces && chance(70);
        // No dialog spins the event loop, so what is written is what is shown
        // now, progress text included. In the code page, characters it lacks
        // are replaced only once the user agrees.
        const QString text = shown();
        const TEncoding& encoding = format.fileEncoding(!m_model.utf8, TEncoding::Default());
        QString lines = text;
        if (format.lineEnd() == LineEnd::Lf)
            lines.replace(u"\r\n"_s, u"\n"_s);
        QByteArray fileBytes = format.preamble(encoding);
        const qsizetype replaced = encoding.appendBytesCounting(lines, fileBytes);
        const bool asks = replaced > 0 && !chosen.isEmpty() && (!replaces || replace);
        const bool agrees = asks && chance(70);
        const QByteArray before = replaces ? bytesOf(fileName) : QByteArray();
        m_step = "Save as " + (chosen.isEmpty() ? std::string("(cancelled)")
                                                : QFileInfo(fileName).fileName().toStdString());
        m_step += ways[way];
        if (replaces)
            m_step += replace ? ", replacing" : ", not replacing";
        if (asks)
            m_step += agrees ? ", agreeing to the replaced characters" : ", not agreeing to them";

        // Answers are queued only for dialogs that open: one left over would
        // answer a later dialog.
        const bool offered = loaded();
        FileDialog::clearShown();
        if (offered) {
            FileDialog::setNextFileName(chosen);
            if (replaces)
                MessageBox::setNextAnswer(replace ? QMessageBox::Yes : QMessageBox::No);
            if (asks)
                MessageBox::setNextAnswer(agrees ? QMessageBox::Yes : QMessageBox::No);
        }
        if (way == 0) {
            click(button("sButton1"));
        } else if (way == 1) {
            QWidget* focused = anyFocus();
            focus(focused);
            QTest::keyClick(focused, Qt::Key_S, Qt::ControlModifier);
        } else {
            chooseFromFileMenu("N3");
        }

        if (!offered) {
            EXPECT_TRUE(FileDialog::shown().isEmpty()) << "Save offered with no playlist";
            return;
        }
        ASSERT_EQ(FileDialog::shown().size(), 1);
        EXPECT_EQ(FileDialog::shown()[0].mode, FileDialog::Mode::Save);
        EXPECT_EQ(FileDialog::shown()[0].fileName,
                  finalSaveFileName(format.defaultFileName(), extension));
        EXPECT_EQ(FileDialog::shown()[0].filter, saveDialogFilter(extension));
        if (chosen.isEmpty())
            return;
        // The question before replacing the file comes first.
        const qsizetype boxesBefore = m_expectedBoxes;
        m_expectedBoxes += (replaces ? 1 : 0) + (asks ? 1 : 0);
        ASSERT_EQ(MessageBox::shown().size(), m_expectedBoxes);
        if (replaces) {
            EXPECT_EQ(MessageBox::shown()[boxesBefore].text, replaceQuestionText(fileName));
        }
        if (asks) {
            EXPECT_EQ(MessageBox::shown().constLast().text,
                      replacedCharactersQuestionText(replaced, encoding.CodePage()));
        }
        QByteArray expected = before;
        if ((!replaces || replace) && (!asks || agrees)) {
            expected = fileBytes;
            ++m_stats.saves;
        } else if (!replaces) {
            EXPECT_FALSE(QFile::exists(fileName)) << "saved although the user did not agree";
            return;
        }
        const QByteArray written = bytesOf(fileName);
        EXPECT_TRUE(written == expected)
            << QFileInfo(fileName).fileName().toStdString() << ": " << written.size()
            << " bytes where " << expected.size() << " were expected";
    }

    void stepCopy() {
        const int way = below(3);
        static const char* const ways[] = {"Copy to buffer", "Copy all (Ctrl+A)",
                                           "Copy all (context menu)"};
        m_step = ways[way];
        const QString sentinel = u"clipboard before step %1"_s.arg(m_stepNumber);
        clipboard().setText(sentinel);
        const QString text = shown();
        if (way == 0) {
            click(button("sButton3"));
        } else if (way == 1) {
            focus(memo());
            QTest::keyClick(memo(), Qt::Key_A, Qt::ControlModifier);
        } else {
            chooseFromContextMenu("N6");
        }
        // "Copy all" is never disabled; the button only with a playlist.
        const bool copies = way != 0 || loaded();
        EXPECT_TRUE(sameText(clipboard().text(), copies ? text : sentinel)) << "clipboard";
    }

    // The text area's keys do nothing anywhere else.
    void stepStrayKey() {
        static const Qt::Key keys[] = {Qt::Key_C, Qt::Key_A, Qt::Key_H};
        const Qt::Key key = keys[below(3)];
        QWidget* focused = anyFocus();
        if (focused == memo()) {
            if (!encodingChoosable())
                return;
            focused = child(u"sCheckBox1"_s);
        }
        m_step = "Ctrl+" + QKeySequence(key).toString().toStdString() + " in " +
                 focused->objectName().toStdString();
        const QString sentinel = u"stray key at step %1"_s.arg(m_stepNumber);
        clipboard().setText(sentinel);
        focus(focused);
        QTest::keyClick(focused, key, Qt::ControlModifier);
        EXPECT_EQ(clipboard().text(), sentinel);
    }

    void stepToggleUtf8() {
        const bool byKey = chance(30);
        m_step = byKey ? "Space on Save as UTF8" : "click Save as UTF8";
        QAbstractButton* box = button("sCheckBox1");
        if (!encodingChoosable()) {
            m_step = "click the disabled Save as UTF8";
            click(box); // changes nothing: the model stays
            return;
        }
        if (byKey) {
            focus(box);
            QTest::keyClick(box, Qt::Key_Space);
        } else {
            click(box);
        }
        m_model.utf8 = !m_model.utf8;
    }

    void stepWaitForRun() {
        m_step = "wait for the run to end";
        if (!form->convertThread())
            return;
        ASSERT_TRUE(waitForRunEnd(60000)) << "a run did not end within a minute";
        ++m_stats.runsWaitedFor;
    }

    void stepLetEventsRun() {
        const int ms = below(4);
        m_step = "let events run for " + std::to_string(ms) + " ms";
        QTest::qWait(ms);
    }

    void stepReopen() {
        const int way = below(4);
        static const char* const ways[] = {"close()", "File > Exit", "Alt+F4",
                                           "destroy without closing"};
        m_step = std::string("close the window by ") + ways[way] + " and open a new one";
        if (form->convertThread())
            ++m_stats.closedDuringARun;
        if (way == 0) {
            form->close();
        } else if (way == 1) {
            chooseFromFileMenu("D1");
        } else if (way == 2) {
            QWidget* focused = anyFocus();
            focus(focused);
            QTest::keyClick(focused, Qt::Key_F4, Qt::AltModifier);
        }
        if (way != 3) {
            EXPECT_FALSE(form->isVisible());
            EXPECT_EQ(form->convertThread(), nullptr);
            EXPECT_EQ(form->sourceList(), nullptr);
            EXPECT_EQ(form->resultList(), nullptr);
        }
        form.reset();
        checkNoRunLeftBehind();
        EXPECT_TRUE(m_runs.empty()) << "a run outlived its window";
        newWindow();
        m_model = Model();
        ++m_stats.windows;
    }

    struct Step {
        void (SoakTest::*run)();
        int weight;
    };

    void oneStep() {
        static const std::vector<Step> steps = {
            {&SoakTest::stepOpen, 11},       {&SoakTest::stepPaste, 11},
            {&SoakTest::stepClear, 4},       {&SoakTest::stepClickTarget, 22},
            {&SoakTest::stepArrowKey, 6},    {&SoakTest::stepSpaceOnSelected, 1},
            {&SoakTest::stepSave, 6},        {&SoakTest::stepCopy, 5},
            {&SoakTest::stepStrayKey, 2},    {&SoakTest::stepToggleUtf8, 2},
            {&SoakTest::stepWaitForRun, 12}, {&SoakTest::stepLetEventsRun, 16},
            {&SoakTest::stepReopen, 2},
        };
        if (form->convertThread())
            ++m_stats.stepsMeetingARun;
        (this->*pickWeighted(steps).run)();
    }

    // The step itself is named in the list of the last steps printed after
    // a failure.
    std::string where() const {
        return "seed " + std::to_string(m_seed) + " (DORVANE_SOAK_SEED=" + std::to_string(m_seed) +
               "), step " + std::to_string(m_stepNumber);
    }

    void printHistory() const {
        std::fprintf(stderr, "[ soak     ] seed %u; the last steps before the failure:\n", m_seed);
        for (const std::string& line : m_history)
            std::fprintf(stderr, "[ soak     ]   %s\n", line.c_str());
    }

    struct Stats {
        int runsStarted = 0;
        int stepsMeetingARun = 0;
        int runsWaitedFor = 0;
        int saves = 0;
        int windows = 1;
        int closedDuringARun = 0;
    };

    std::uint32_t m_seed = 0;
    std::mt19937 m_random;
    std::vector<Source> m_sources;
    std::vector<Intake> m_opens;
    std::vector<Intake> m_pastes;
    QString m_missing;
    Model m_model;
    qsizetype m_expectedBoxes = 0;
    std::map<std::tuple<int, int, QString>, QString> m_converted;
    std::vector<QPointer<const TThreadKonvert>> m_runs;
    int m_stepNumber = 0;
    std::string m_step;
    std::deque<std::string> m_history;
    Stats m_stats;
};

TEST_F(SoakTest, RandomWalkThroughTheWindow) {
    ASSERT_FALSE(HasFatalFailure());
    const int steps = soakSteps();
    QElapsedTimer clock;
    clock.start();
    for (m_stepNumber = 1; m_stepNumber <= steps; ++m_stepNumber) {
        {
            SCOPED_TRACE(where());
            oneStep();
            noteRun();
            m_history.push_back(std::to_string(m_stepNumber) + ": " + m_step);
            if (m_history.size() > 25)
                m_history.pop_front();
            if (!HasFatalFailure())
                checkWindow();
        }
        if (HasFailure()) {
            printHistory();
            break;
        }
        // The boxes and dialogs of past steps are not kept.
        MessageBox::clearShown();
        m_expectedBoxes = 0;
    }

    {
        SCOPED_TRACE("seed " + std::to_string(m_seed) + ", at the end");
        form.reset();
        checkNoRunLeftBehind();
        EXPECT_TRUE(m_runs.empty()) << "a run outlived its window";
    }
    std::printf("[ soak     ] seed %u: %d steps in %lld ms; %d runs started, %d steps met a "
                "run in progress, %d runs waited for, %d files saved, %d windows (%d closed "
                "during a run)\n",
                m_seed, m_stepNumber - 1, static_cast<long long>(clock.elapsed()),
                m_stats.runsStarted, m_stats.stepsMeetingARun, m_stats.runsWaitedFor, m_stats.saves,
                m_stats.windows, m_stats.closedDuringARun);
    if (!HasFailure() && steps >= 1000) {
        // A walk this long that never met a run half-way tested little.
        EXPECT_GT(m_stats.stepsMeetingARun, steps / 50);
        EXPECT_GT(m_stats.runsWaitedFor, 0);
        EXPECT_GT(m_stats.windows, 1);
        if (steps >= 5000) {
            EXPECT_GT(m_stats.closedDuringARun, 0);
        }
    }
}

} // namespace
