#pragma once

#include "app/ChannelsDialog.h"
#include "convert/Recipe.h"
#include "convert/SourceName.h"
#include "convert/TargetKind.h"
#include "convert/TargetOptions.h"
#include "playlist/StringList.h"
#include "playlist/TextFile.h"
#include "source/provider/ProviderLogin.h"

#include <QMainWindow>
#include <QUrl>

#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class QAction;
class QActionGroup;
class QButtonGroup;
class QCheckBox;
class QKeyEvent;
class QLabel;
class QMenu;
class QMimeData;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QComboBox;
class QStatusBar;

namespace dorvane {

struct Bouquet;
class ChannelIndex;
class Download;
struct TakenPlaylist;
class FileDialog;
class MemoView;
class TEncoding;
class TargetFormat;
class ProviderRead;
struct ProviderLogin;
class TStringList;
class TThreadKonvert;
class TsSkinManager;

// The program's one window: the target radio buttons, the Save and Copy
// buttons and the "Save as UTF8" check box down the left, the text area
// filling the rest, the status bar, the File menu and the text area's context
// menu. Every command is one handler below, entered through the shared error
// guard.
class TForm8 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm8(QWidget* parent = nullptr);
    ~TForm8() override;

    // The target whose radio button is checked.
    TTargetKind selectedTarget() const;
    // The playlist as loaded and the output of the current run; both are
    // released when the window closes.
    const TStringList* sourceList() const { return SourceList.get(); }
    const TStringList* resultList() const { return ResultList.get(); }
    // The run in progress, or one that ended by an error; null otherwise.
    const TThreadKonvert* convertThread() const { return ConvertThread.get(); }

    // Loads a playlist file as Open does once its dialog has been accepted
    // (dropping a file on the window comes here too).
    void loadPlaylistFile(const QString& fileName);
    // Downloads the playlist at the address and loads it as Open loads a
    // file, once it has arrived (File > Open URL, a dropped link and the
    // paste of an address come here). A download that fails or holds no
    // channel leaves the loaded playlist as it was. A download still running
    // is stopped first.
    void openAddress(const QUrl& url);
    // The download in progress, or null.
    const Download* download() const { return m_download.get(); }
    // Reads the playlist of a provider's account through its player
    // interface (File > Open Provider), with the progress and the cancel of
    // a download, and loads it as Open loads a file; with an M3U address of
    // the provider (a get.php one given to openAddress), that is tried
    // first. A failure leaves the loaded playlist as it was.
    void openProvider(const ProviderLogin& login, const QUrl& getAddress = {});
    // The provider's reading in progress, or null.
    const ProviderRead* providerRead() const { return m_providerRead.get(); }

    // Brings back the playlist that the last Open, Paste, drop, Clear or
    // Open URL replaced, with its name, choice, encoding and target.
    void Undo1Click();
    // Reads the current playlist's bytes again in the encoding of `item`.
    void reopenWithEncoding(const QString& name);

    // Reads a recipe's source and shows its playlist as the recipe chooses,
    // edits and converts it (File > Open Recipe). A source at an address is
    // applied once its download has arrived.
    void openRecipe(const QString& fileName);
    // The recipe of what the window shows: its source, the choice and edits
    // of the Channels dialog, the target, encoding and file saved last.
    Recipe currentRecipe();

    void FormCreate();
    void FormClose();

    void N1Click();
    void N2Click();
    void OpenUrl1Click();
    void OpenProvider1Click();
    void N3Click();
    void D1Click();
    void PopupMenu1Popup();
    void N4Click();
    void N5Click();
    void N6Click();
    void N8Click();
    void OpenRecipe1Click();
    // File > Add Source...: the channels of another playlist file join those
    // of the one loaded, as a recipe's further source; they are chosen.
    void AddSource1Click();
    void SaveRecipe1Click();
    void Refresh1Click();
    void SendToReceiver1Click();
    // File > Guide...: shows the guides and the channels the last cut found
    // nothing for, and takes one more guide, a file or an address. Saving
    // the list then cuts the guides to its channels beside it.
    void Guide1Click();
    // The window's guides, as a recipe keeps them.
    const QStringList& guides() const { return m_guides; }
    // Whether a cut of the guides is running.
    bool guideCutRunning() const { return m_guideCuts > 0; }
    void sButton1Click();
    void sButton3Click();

    void sRadioButton1Click();
    void sRadioButton2Click();
    void sRadioButton3Click();
    void sRadioButton4Click();
    void sRadioButton5Click();
    void sRadioButton6Click();
    void sRadioButton7Click();
    void sRadioButton8Click();
    void sRadioButton9Click();
    void sRadioButton10Click();
    void sRadioButton11Click();
    void sRadioButton12Click();
    void sRadioButton13Click();
    // Stops any run and starts a new one for the selected target.
    void SelectRBTN();
    // Says in the status bar what the run's target could not hold (nothing:
    // the encoding's text again).
    void showLost(const LostAttributes& lost, const TargetFormat& target);

    void sLabel1Click();
    void J1Click();
    void N7Click();
    void V1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    void createMenus();
    void connectHandlers();
    // Gives the controls their skin sections and loads the skin, before the
    // window is first shown; a skin that is there but cannot be read is
    // reported once the window is up, which then goes on unskinned.
    void loadSkin();

    // The control of the window for a keyboard shortcut, or null: context
    // menu items while the text area has the focus, else File menu items.
    QAction* shortcutItem(const QKeyEvent& key, bool memoFocused, QMenu** menu) const;
    void runShortcut(QMenu* menu, QAction* item);
    bool moveFocusByArrow(QWidget* from, const QKeyEvent& key);

    // Stops the run in progress, waiting for its end while serving its
    // hand-offs, and releases ended runs. True when a run was stopped.
    bool stopRun() noexcept;
    void endOfRun(TThreadKonvert& worker);
    void releaseEndedRuns() noexcept;
    // What selecting "M3U Playlist" or "M3U8 Playlist" does: no run, no
    // result, the playlist itself in the text area.
    void showSourceText();

    // Makes the lines the new playlist, with all its channels chosen, counts
    // its channels and shows the outcome. `name` names it for the targets
    // whose lists carry a name.
    void takePlaylist(TStringList&& lines, SourceName name);
    // Makes the lines the playlist converted, counts its channels and shows
    // the outcome; under a converting target a run starts on them. Returns
    // the count.
    int showPlaylist(TStringList&& lines);
    // The playlist of the chosen channels of the loaded one, shown and
    // converted.
    void applyChoice();
    // Forgets the channels chosen (and the index they were chosen in).
    void resetChoice();
    // Chooses and edits the loaded playlist as the recipe does, selects its
    // target and encoding, and shows the outcome.
    void takeRecipe(const Recipe& recipe);
    // After a download: the recipe waiting for it, its further sources read
    // first (readMoreSources), then the refresh's count.
    void endOfRecipeDownload(const TStringList* before);
    // Reads the further sources of the recipe in m_moreReading one after
    // the other, files at once, addresses and providers through the
    // window's download and provider readers; once all are read, joins them
    // to the playlist loaded and takes the recipe. An optional source that
    // fails is left out with a word in the status bar; a required one
    // brings back the playlist as it was and fails.
    void readMoreSources();
    void endOfMoreSource();
    void addMoreRead(TStringList&& lines, const QString& name);
    // Brings back the playlist the first source replaced, as it was.
    void undoMoreSources();
    // Cancel and Esc of a download or a provider's reading.
    void stopReading();
    // The recipe taken, and the count of a refresh from `before`.
    void reportRecipe(const TStringList* before);
    void setPlaylistControlsEnabled(bool enabled);
    // "Save as UTF8" for the selected target: the user's choice where the
    // target allows one, ticked and disabled where it is always UTF-8.
    void showEncodingChoice(const TargetFormat& format);
    // The code page chosen under File > Code Page.
    const TEncoding& chosenCodePage() const;

    // Save and Copy of the text area's text.
    void saveTextArea();
    // Save with "One bouquet per group": the bouquets and their index into a
    // folder the user chooses, as they are sent to a receiver.
    void saveBouquetFolder();
    // Whether Save writes a bouquet per group: the box ticked, Enigma2 the
    // target.
    bool savesBouquetFolder() const;
    // The chosen, edited channels as the receiver's bouquets (makeBouquets),
    // with the service type chosen beside the target; the new groups'
    // slugs go into m_receiver.
    std::vector<Bouquet> chosenBouquets(const QString& prefix, bool perGroup);
    void copyTextArea();
    // Saving in a code page writes a substitute for each of `replaced`
    // characters it lacks: true when there are none or the user agrees.

    static QString droppedPlaylistFile(const QMimeData* mime);
    static QUrl droppedWebAddress(const QMimeData* mime);

    // Stops the download in progress, if any, and hides its progress.
    void cancelDownload() noexcept;
    void endOfDownload();
    void showDownloadProgress(qint64 received, qint64 total);
    void showProgressControls();

    MemoView* sMemo1;             // the text area: playlist, progress text or result
    QRadioButton* sRadioButton1;  // "M3U Playlist"
    QRadioButton* sRadioButton2;  // "WebTV"
    QRadioButton* sRadioButton3;  // "OpenBox"
    QRadioButton* sRadioButton4;  // "OpenBox SX"
    QRadioButton* sRadioButton5;  // "Wizard HD"
    QRadioButton* sRadioButton6;  // "AzBox"
    QRadioButton* sRadioButton7;  // "PLS Playlist"
    QRadioButton* sRadioButton8;  // "M3U8 Playlist"
    QRadioButton* sRadioButton9;  // "WMP Playlist"
    QRadioButton* sRadioButton10; // "IPTVx XML"
    QRadioButton* sRadioButton11; // "U2C Radio"
    QComboBox* Enigma2Type1;      // the Enigma2 service type: 4097, 5001, 5002
    QCheckBox* PerGroupCheck1;    // "One bouquet per group", for the Enigma2 target
    QLabel* LostLabel1;           // what the last run's target could not hold
    QPushButton* sButton1;        // "Save"
    QCheckBox* sCheckBox1;        // "Save as UTF8"
    QPushButton* sButton3;        // "Copy to buffer"
    FileDialog* SaveDialog1;      // Save's dialog
    FileDialog* sOpenDialog1;     // Open's dialog; remembers the last file
    TsSkinManager* sSkinManager1; // draws the window with the skin, if installed
    QMenu* N1;                    // "File"
    QAction* N2;                  // "Open"
    QAction* OpenUrl1;            // "Open URL..."
    QAction* OpenProvider1;       // "Open Provider..."
    QAction* N8;                  // "Channels...", also in the context menu
    QAction* N3;                  // "Save"
    QMenu* CodePage1;             // "Code Page": the code page Save writes without UTF-8
    QActionGroup* m_codePages;    // its items, one checked
    QAction* ByteOrderMark1;      // "Byte-order Mark": UTF-8 starts with EF BB BF
    QAction* D1;                  // "Exit"
    QLabel* sImage1;              // the logo behind the radio buttons
    QStatusBar* sStatusBar1;      // holds the three controls below
    QLabel* sLabel1;              // link to the web site's home page
    QLabel* sLabel2;              // the channel count
    QLabel* sImage2;              // shown while a playlist is loaded
    QLabel* DownloadLabel1;       // bytes (and percent) downloaded so far
    QProgressBar* DownloadBar1;   // the download's progress, or moving when its size is unknown
    QPushButton* DownloadCancel1; // stops the download, as Esc does
    QMenu* PopupMenu1;            // the text area's context menu
    QAction* N4;                  // "Paste"
    QAction* N5;                  // "Clear "
    QAction* N6;                  // "Copy all"
    QAction* J1;                  // the program's page
    QAction* N7;                  // the discussion thread
    QAction* V1;                  // the announcements

    QButtonGroup* m_targetGroup;
    std::array<QRadioButton*, kTargetCount> m_targetButtons{};
    // The controls in tab order, which the arrow keys follow.
    std::vector<QWidget*> m_tabOrder;

    std::unique_ptr<TStringList> ResultList;
    std::unique_ptr<TStringList> SourceList;
    // The playlist as read; SourceList holds its chosen channels.
    std::unique_ptr<TStringList> LoadedList;
    int m_loadedChannels = 0;
    // Built when the channels are first chosen; views LoadedList's lines.
    std::unique_ptr<ChannelIndex> m_channelIndex;
    std::vector<char> m_chosen; // one flag per block; empty: all
    bool m_onePerAddress = false;
    ChannelEdits m_edits;    // the names and order given in the Channels dialog
    SourceName m_sourceName; // of the playlist in SourceList
    std::unique_ptr<TThreadKonvert> ConvertThread;
    // Runs that ended normally, released once their threads are gone.
    std::vector<std::unique_ptr<TThreadKonvert>> m_endedRuns;
    bool m_closed = false;
    // "Save as UTF8" as the user last left it on a target that offers it.
    bool m_utf8Wanted = true;
    // File > Byte-order Mark once the user has set it; until then each
    // target's own (none for M3U, which players misread).
    std::optional<bool> m_byteOrderMarkWanted;

    std::unique_ptr<Download> m_download;
    // The address opened or asked for last in this run, proposed the next
    // time.
    QString m_lastAddress;

    // Where the loaded playlist came from, so that it can be read again.
    struct PlaylistSource {
        enum class Kind { None, File, Address, Text, Provider } kind = Kind::None;
        QString fileName;
        QUrl url;
        QByteArray bytes; // an address's answer, as it was read
        // A provider's server, account and lists, and its M3U address
        // (url) when one was tried first.
        ProviderLogin provider;
    };
    // A playlist that a later one replaced, as Undo brings it back.
    struct Replaced {
        TStringList lines;
        SourceName name;
        std::vector<char> chosen;
        bool onePerAddress = false;
        ChannelEdits edits;
        int loadedChannels = 0;
        TTargetKind target = TTargetKind::tkM3U;
        TextReading reading;
        QString readingHint;
        PlaylistSource source;
        std::vector<RecipeSource> moreSources;
        std::vector<ChannelSource> sourceEntries;
        Recipe takenRecipe;
        RecipeGone gone;
    };
    // Keeps the loaded playlist for Undo before something replaces it.
    void rememberForUndo();
    // Takes a playlist read from `source` as takePlaylist does, and shows how
    // its bytes were read.
    void takeRead(TakenPlaylist&& taken, SourceName name, PlaylistSource source);
    // The status bar's word on how the playlist was read.
    void showReading();

    PlaylistSource m_source;
    TextReading m_reading;
    QString m_readingHint; // a detector's other guess, or empty
    std::deque<Replaced> m_undo;
    QAction* Undo1;         // "Undo", in the File menu and the context menu
    QMenu* ReopenEncoding1; // "Reopen with Encoding"
    QLabel* EncodingLabel1; // how the playlist's bytes were read

    QAction* OpenRecipe1; // "Open Recipe..."
    QAction* SaveRecipe1; // "Save Recipe..."
    QAction* Refresh1;    // "Refresh"
    QAction* AddSource1;  // "Add Source..."
    // The sources whose channels follow those of m_source, as a recipe's.
    std::vector<RecipeSource> m_moreSources;
    // The sources read into LoadedList, as the Channels dialog lists them:
    // empty while there is one.
    std::vector<ChannelSource> m_sourceEntries;
    // Joins `list` (named `name`) to LoadedList as a further source, and
    // starts the list of sources with the first one when it is the second.
    void joinSource(TStringList&& list, const QString& name);
    // The further sources of a recipe being read.
    struct MoreReading {
        Recipe recipe;
        std::unique_ptr<TStringList> before; // a refresh's playlist, or null
        std::vector<TStringList> lists;      // the first source's, then those read
        std::vector<ChannelSource> entries;
        int blocks = 0;
        size_t next = 0;     // the source read now or next
        QStringList skipped; // optional ones that failed
    };
    std::unique_ptr<MoreReading> m_moreReading;
    QStringList m_skippedSources;  // said with the recipe's outcome
    bool m_remembered = false;     // the last rememberForUndo kept a step
    FileDialog* RecipeOpenDialog1; // Open Recipe's dialog
    FileDialog* RecipeSaveDialog1; // Save Recipe's dialog
    QLabel* RefreshLabel1;         // what the last refresh found
    QString m_savedFile;           // the file Save wrote last, for a recipe
    FileDialog* FolderDialog1;     // Save's folder, for a bouquet per group
    QString m_savedFolder;         // the folder it wrote into last, for a recipe
    // A recipe waiting for its source's download, and the playlist a
    // refresh compares with.
    std::unique_ptr<Recipe> m_pendingRecipe;
    std::unique_ptr<TStringList> m_refreshedFrom;
    // The recipe last taken, and what of it names groups and channels the
    // playlist does not have: kept for the recipe made of the window, so
    // that they apply again once they are back.
    Recipe m_takenRecipe;
    RecipeGone m_gone;

    // File > Send to Receiver: where it sends (a recipe's receiver), and the
    // password given this session when the recipe is not to keep it.
    QAction* SendToReceiver1;
    RecipeReceiver m_receiver;
    QString m_boxPassword;
    // Sends the chosen channels to m_receiver; with `ask`, the dialog first.
    void sendToReceiver(bool ask);
    void endOfProviderRead();
    std::unique_ptr<ProviderRead> m_providerRead;
    // The server and user name asked for last, proposed the next time.
    QString m_lastProviderServer, m_lastProviderUser;

    // The programme guide: its files and addresses, and the channels its
    // last cut found nothing for.
    QAction* Guide1; // "Guide..."
    QStringList m_guides;
    QStringList m_guideUnmatched;
    // The cut runs on a thread of its own, the list's lines copied: a guide
    // may be large. Its outcome comes back through the event loop.
    std::thread m_guideThread;
    int m_guideCuts = 0; // started and not yet come back
    // Cuts the guides to the saved list's channels into NAME.xml beside
    // `listFile`.
    void cutGuideBeside(const QString& listFile);
    void waitForGuideCut() noexcept;
};

} // namespace dorvane
