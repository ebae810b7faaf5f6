#include "app/Form8.h"

#include "app/AddressDialog.h"
#include "app/ChannelsDialog.h"
#include "app/FileDialog.h"
#include "app/Guard.h"
#include "app/GuideDialog.h"
#include "app/IconFile.h"
#include "app/MemoView.h"
#include "app/MessageBox.h"
#include "app/ProviderDialog.h"
#include "app/SendDialog.h"
#include "app/SkinManager.h"
#include "app/WebLinks.h"
#include "convert/Choice.h"
#include "convert/Recipe.h"
#include "convert/TargetFormat.h"
#include "convert/ThreadKonvert.h"
#include "convert/guide/GuideRun.h"
#include "output/Output.h"
#include "playlist/Clipboard.h"
#include "playlist/Download.h"
#include "playlist/Encoding.h"
#include "playlist/EncodingGuess.h"
#include "playlist/Errors.h"
#include "playlist/FileName.h"
#include "playlist/Playlist.h"
#include "playlist/StringList.h"
#include "playlist/TextFile.h"
#include "playlist/WebAddress.h"
#include "receiver/BouquetFolder.h"
#include "source/Intake.h"
#include "source/PlaylistReader.h"
#include "source/provider/ProviderRead.h"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStatusBar>

#include <algorithm>

namespace dorvane {

namespace {

const QColor kSkyBlue(166, 202, 240);
const QColor kCream(255, 251, 240);

QString recipeFileFilter() {
    return QStringLiteral("Dorvane recipe (*.dorvane)|*.dorvane");
}

QString progressText() {
    return QStringLiteral("Обработка данных ...");
}

// "640 КиБ", "12,3 МиБ": in 1024s, as dorvane-convert's progress line counts.
QString sizeText(qint64 bytes) {
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 КиБ").arg(russian.toString((bytes + 1023) / 1024));
    return QStringLiteral("%1 МиБ").arg(
        russian.toString(static_cast<double>(bytes) / (1024 * 1024), 'f', 1));
}

// The target buttons stand in one column, a row of 25 pixels each, in member
// order, except among the first eleven, whose places were designed: "IPTVx
// XML" stands second and "WMP Playlist" above "M3U8 Playlist". Those eleven
// also have designed widths; every button widens to fit its caption.
struct DesignedPlace {
    int row;
    int width;
};
constexpr DesignedPlace kDesignedPlaces[] = {
    {0, 82}, {2, 59}, {3, 69}, {4, 84}, {5, 75},  {6, 55},
    {7, 78}, {9, 88}, {8, 85}, {1, 81}, {10, 75},
};
constexpr int kDesignedCount = static_cast<int>(std::size(kDesignedPlaces));

constexpr int kRowHeight = 25;
constexpr int kFirstRowY = 8;
constexpr int rowY(int row) {
    return kFirstRowY + kRowHeight * row;
}
// Below the last row: the check box, then Save and "Copy to buffer".
constexpr int kLastRowY = rowY(kTargetCount - 1);
constexpr int kCheckBoxY = kLastRowY + 38;
constexpr int kSaveY = kLastRowY + 82;
constexpr int kCopyY = kLastRowY + 122;
// The client area and the text area grow with the column.
constexpr int kClientWidth = 851;
constexpr int kClientHeight = kLastRowY + 202;
constexpr int kStatusBarHeight = 19;

int targetRow(int index) {
    return index < kDesignedCount ? kDesignedPlaces[index].row : index;
}

// The handler each button's selection runs, by button number from 1.
using Handler = void (TForm8::*)();
constexpr Handler kTargetHandlers[] = {
    &TForm8::sRadioButton1Click,  &TForm8::sRadioButton2Click,  &TForm8::sRadioButton3Click,
    &TForm8::sRadioButton4Click,  &TForm8::sRadioButton5Click,  &TForm8::sRadioButton6Click,
    &TForm8::sRadioButton7Click,  &TForm8::sRadioButton8Click,  &TForm8::sRadioButton9Click,
    &TForm8::sRadioButton10Click, &TForm8::sRadioButton11Click, &TForm8::sRadioButton12Click,
    &TForm8::sRadioButton13Click,
};

QFont windowFont() {
    // Verdana where it is installed; otherwise the font configuration's sans.
    QFont font(QStringLiteral("Verdana"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

// The logo (a glass cube) and the status picture (a small blue screen),
// built into the program.
QPixmap logoPicture() {
    return QPixmap(QStringLiteral(":/pictures/logo.png"));
}
QPixmap statusPicture() {
    return QPixmap(QStringLiteral(":/pictures/status.jpg"));
}

// The code pages File > Code Page offers, with the scripts they are for.
struct CodePageName {
    int number;
    const char* script;
};
constexpr CodePageName kCodePages[] = {
    {1250, "Central European"},
    {1251, "Cyrillic"},
    {1252, "Western European"},
    {1253, "Greek"},
    {1254, "Turkish"},
    {1255, "Hebrew"},
    {1256, "Arabic"},
    {1257, "Baltic"},
    {1258, "Vietnamese"},
    {874, "Thai"},
    {932, "Japanese"},
    {936, "Simplified Chinese"},
    {949, "Korean"},
    {950, "Traditional Chinese"},
};

QAction* addItem(QObject* owner, QMenu* menu, const char* name, const QString& caption,
                 const QKeySequence& key) {
    auto* item = new QAction(caption, owner);
    item->setObjectName(QLatin1String(name));
    // The window dispatches the keys itself; a widget shortcut only shows the
    // key in the menu and never matches on its own.
    item->setShortcut(key);
    item->setShortcutContext(Qt::WidgetShortcut);
    item->setShortcutVisibleInContextMenu(true);
    menu->addAction(item);
    return item;
}

} // namespace

TForm8::TForm8(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Dorvane"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(iconFromFile(QStringLiteral(":/pictures/window.ico")));
    createControls();
    createMenus();
    connectHandlers();
    loadSkin();
    // The client area has a fixed size; the window is it plus the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    move(411, 77);
    setAcceptDrops(true);
    FormCreate();
}

TForm8::~TForm8() {
    waitForGuideCut();
    if (m_closed)
        return;
    m_closed = true;
    try {
        FormClose();
    } catch (...) {
    }
}

void TForm8::loadSkin() {
    sImage1->setProperty(kSkinSectionProperty, QStringLiteral("CHECKBOX"));
    sStatusBar1->setProperty(kSkinSectionProperty, QStringLiteral("STATUSBAR"));
    sImage2->setProperty(kSkinSectionProperty, QStringLiteral("STATUSBAR"));

    sSkinManager1 = new TsSkinManager(this);
    if (sSkinManager1->load(this) == TsSkinManager::Result::Broken) {
        QMetaObject::invokeMethod(
            this, [message = sSkinManager1->errorMessage()] { showErrorBox(message); },
            Qt::QueuedConnection);
    }
}

void TForm8::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    client->setFont(windowFont());
    QPalette palette = client->palette();
    palette.setColor(QPalette::Window, kSkyBlue);
    client->setPalette(palette);
    client->setAutoFillBackground(true);
    setCentralWidget(client);

    sMemo1 = new MemoView(client);
    sMemo1->setObjectName(QStringLiteral("sMemo1"));
    sMemo1->setGeometry(144, 8, 697, kClientHeight - 33);
    QPalette memoPalette = sMemo1->palette();
    memoPalette.setColor(QPalette::Base, kCream);
    memoPalette.setColor(QPalette::Text, Qt::black);
    sMemo1->setPalette(memoPalette);
    sMemo1->setContextMenuPolicy(Qt::CustomContextMenu);
    // Drops belong to the window, which loads the dropped playlist.
    sMemo1->setAcceptDrops(false);
    sMemo1->viewport()->setAcceptDrops(false);

    m_targetGroup = new QButtonGroup(this);
    m_targetGroup->setExclusive(true);
    for (int k = 0; k < kTargetCount; ++k) {
        const TTargetKind kind = static_cast<TTargetKind>(k);
        auto* button = new QRadioButton(formatFor(kind).caption().toString(), client);
        button->setObjectName(QStringLiteral("sRadioButton%1").arg(k + 1));
        // A caption that needs more room than designed (another font) widens
        // its button instead of being cut.
        const int designedWidth = k < kDesignedCount ? kDesignedPlaces[k].width : 0;
        button->setGeometry(8, rowY(targetRow(k)),
                            std::max(designedWidth, button->sizeHint().width()), 19);
        button->setEnabled(kind == TTargetKind::tkM3U);
        // Like the platform's standard buttons it paints its whole box, so
        // the logo behind shows only where no button stands.
        button->setBackgroundRole(QPalette::Window);
        button->setAutoFillBackground(true);
        // Tab stops only at the checked button; a click still focuses others.
        button->setFocusPolicy(Qt::ClickFocus);
        m_targetGroup->addButton(button, k);
        m_targetButtons[k] = button;
    }
    sRadioButton1 = m_targetButtons[0];
    sRadioButton2 = m_targetButtons[1];
    sRadioButton3 = m_targetButtons[2];
    sRadioButton4 = m_targetButtons[3];
    sRadioButton5 = m_targetButtons[4];
    sRadioButton6 = m_targetButtons[5];
    sRadioButton7 = m_targetButtons[6];
    sRadioButton8 = m_targetButtons[7];
    sRadioButton9 = m_targetButtons[8];
    sRadioButton10 = m_targetButtons[9];
    sRadioButton11 = m_targetButtons[10];
    // The Enigma2 service type and the bouquet per group, in the column of
    // the targets under the encoding's box: beside their target they would
    // lie over the text.
    {
        Enigma2Type1 = new QComboBox(client);
        Enigma2Type1->setObjectName(QStringLiteral("Enigma2Type1"));
        Enigma2Type1->setFocusPolicy(Qt::ClickFocus); // the tab order is the designed one
        for (const int type : {4097, 5001, 5002})
            Enigma2Type1->addItem(QString::number(type), type);
        Enigma2Type1->setGeometry(8, kCheckBoxY + 21, 55, 21);
        Enigma2Type1->setToolTip(QStringLiteral("Enigma2 service type"));
        connect(Enigma2Type1, &QComboBox::currentIndexChanged, this, [this] {
            if (selectedTarget() == TTargetKind::tkEnigma2)
                SelectRBTN();
        });
        // Beside the type: Save and Send write a bouquet per group with it.
        PerGroupCheck1 = new QCheckBox(QStringLiteral("Per group"), client);
        PerGroupCheck1->setToolTip(QStringLiteral("One bouquet per group"));
        PerGroupCheck1->setObjectName(QStringLiteral("PerGroupCheck1"));
        PerGroupCheck1->setFocusPolicy(Qt::ClickFocus);
        PerGroupCheck1->setGeometry(Enigma2Type1->geometry().right() + 3, kCheckBoxY + 22,
                                    142 - Enigma2Type1->geometry().right() - 3, 19);
        PerGroupCheck1->setEnabled(false);
        connect(PerGroupCheck1, &QCheckBox::toggled, this,
                [this](bool checked) { m_receiver.perGroup = checked; });
    }
    // FormCreate checks "M3U Playlist", which then takes the tab stop.

    sButton1 = new QPushButton(QStringLiteral("Save"), client);
    sButton1->setObjectName(QStringLiteral("sButton1"));
    sButton1->setGeometry(8, kSaveY, 130, 25);
    sButton1->setEnabled(false);

    sCheckBox1 = new QCheckBox(QStringLiteral("Save as UTF8"), client);
    sCheckBox1->setObjectName(QStringLiteral("sCheckBox1"));
    sCheckBox1->setGeometry(8, kCheckBoxY, 117, 19);
    sCheckBox1->setChecked(true);

    sButton3 = new QPushButton(QStringLiteral("Copy to buffer"), client);
    sButton3->setObjectName(QStringLiteral("sButton3"));
    sButton3->setGeometry(8, kCopyY, 130, 25);
    sButton3->setEnabled(false);

    SaveDialog1 = new FileDialog(FileDialog::Mode::Save, this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    sOpenDialog1 = new FileDialog(FileDialog::Mode::Open, this);
    sOpenDialog1->setObjectName(QStringLiteral("sOpenDialog1"));
    sOpenDialog1->setFilter(readerFileFilter());
    RecipeOpenDialog1 = new FileDialog(FileDialog::Mode::Open, this);
    RecipeOpenDialog1->setObjectName(QStringLiteral("RecipeOpenDialog1"));
    RecipeOpenDialog1->setFilter(recipeFileFilter());
    RecipeSaveDialog1 = new FileDialog(FileDialog::Mode::Save, this);
    RecipeSaveDialog1->setObjectName(QStringLiteral("RecipeSaveDialog1"));
    RecipeSaveDialog1->setFilter(recipeFileFilter());
    FolderDialog1 = new FileDialog(FileDialog::Mode::Folder, this);
    FolderDialog1->setObjectName(QStringLiteral("FolderDialog1"));

    sImage1 = new QLabel(client);
    sImage1->setObjectName(QStringLiteral("sImage1"));
    sImage1->setGeometry(0, 0, 70, 70);
    sImage1->setAlignment(Qt::AlignCenter);
    sImage1->setPixmap(logoPicture());
    sImage1->lower();

    sStatusBar1 = new QStatusBar(client);
    sStatusBar1->setObjectName(QStringLiteral("sStatusBar1"));
    sStatusBar1->setSizeGripEnabled(false);
    // The platform's status bar font and colours, not the client area's;
    // every property is marked as set so that none is inherited.
    QFont statusFont = QApplication::font(sStatusBar1);
    statusFont.setResolveMask(QFont::AllPropertiesResolved);
    sStatusBar1->setFont(statusFont);
    QPalette statusPalette = sStatusBar1->palette();
    statusPalette.setColor(QPalette::Window,
                           QApplication::palette(sStatusBar1).color(QPalette::Window));
    sStatusBar1->setPalette(statusPalette);
    sStatusBar1->setAutoFillBackground(true);
    sStatusBar1->setGeometry(0, kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight);

    sImage2 = new QLabel(sStatusBar1);
    sImage2->setObjectName(QStringLiteral("sImage2"));
    sImage2->setGeometry(8, 5, 25, 12);
    sImage2->setPixmap(statusPicture());
    sImage2->hide();

    sLabel1 = new QLabel(QString::fromUtf16(WebLinks::kSiteName), sStatusBar1);
    sLabel1->setObjectName(QStringLiteral("sLabel1"));
    sLabel1->setFont(windowFont());
    sLabel1->setGeometry(730, 3, 78, 15);
    sLabel1->setCursor(Qt::PointingHandCursor);

    sLabel2 = new QLabel(sStatusBar1);
    sLabel2->setObjectName(QStringLiteral("sLabel2"));
    sLabel2->setFont(windowFont());
    sLabel2->move(40, 3);

    // The download's progress, between the count and the link.
    DownloadLabel1 = new QLabel(sStatusBar1);
    DownloadLabel1->setObjectName(QStringLiteral("DownloadLabel1"));
    DownloadLabel1->setFont(windowFont());
    DownloadLabel1->setGeometry(190, 3, 250, 15);
    DownloadLabel1->hide();
    DownloadBar1 = new QProgressBar(sStatusBar1);
    DownloadBar1->setObjectName(QStringLiteral("DownloadBar1"));
    DownloadBar1->setGeometry(445, 3, 190, 13);
    DownloadBar1->setTextVisible(false);
    DownloadBar1->hide();
    DownloadCancel1 = new QPushButton(QStringLiteral("Cancel"), sStatusBar1);
    DownloadCancel1->setObjectName(QStringLiteral("DownloadCancel1"));
    DownloadCancel1->setFont(windowFont());
    DownloadCancel1->setGeometry(645, 1, 70, 17);
    DownloadCancel1->setFocusPolicy(Qt::NoFocus);
    DownloadCancel1->hide();

    // How the playlist's bytes were read, where the download's progress
    // stands while there is one.
    EncodingLabel1 = new QLabel(sStatusBar1);
    EncodingLabel1->setObjectName(QStringLiteral("EncodingLabel1"));
    EncodingLabel1->setFont(windowFont());
    EncodingLabel1->setGeometry(190, 3, 530, 15);
    // A refresh's outcome stands there in its place until the next action.
    RefreshLabel1 = new QLabel(sStatusBar1);
    RefreshLabel1->setObjectName(QStringLiteral("RefreshLabel1"));
    RefreshLabel1->setFont(windowFont());
    RefreshLabel1->setGeometry(190, 3, 530, 15);
    RefreshLabel1->hide();
    // What the last run's target could not hold, there too until the next.
    LostLabel1 = new QLabel(sStatusBar1);
    LostLabel1->setObjectName(QStringLiteral("LostLabel1"));
    LostLabel1->setFont(windowFont());
    LostLabel1->setGeometry(190, 3, 530, 15);
    LostLabel1->hide();

    m_tabOrder = {sMemo1};
    m_tabOrder.insert(m_tabOrder.end(), m_targetButtons.begin(), m_targetButtons.end());
    m_tabOrder.insert(m_tabOrder.end(), {sButton1, sCheckBox1, sButton3});
    for (size_t k = 0; k + 1 < m_tabOrder.size(); ++k)
        setTabOrder(m_tabOrder[k], m_tabOrder[k + 1]);
    sMemo1->setFocus();
}

void TForm8::createMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    // Each caption marks its access key ("&File": Alt+F); the text shown
    // stays the same, underlined where the platform underlines.
    N1 = bar->addMenu(QStringLiteral("&File"));
    N1->setObjectName(QStringLiteral("N1"));
    N2 = addItem(this, N1, "N2", QStringLiteral("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O));
    OpenUrl1 = addItem(this, N1, "OpenUrl1", QStringLiteral("Open &URL..."),
                       QKeySequence(Qt::CTRL | Qt::Key_U));
    OpenProvider1 = addItem(this, N1, "OpenProvider1", QStringLiteral("Open Pro&vider..."),
                            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    N8 =
        addItem(this, N1, "N8", QStringLiteral("&Channels..."), QKeySequence(Qt::CTRL | Qt::Key_K));
    N8->setEnabled(false);
    N3 = addItem(this, N1, "N3", QStringLiteral("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S));
    N3->setEnabled(false);
    Undo1 = addItem(this, N1, "Undo1", QStringLiteral("U&ndo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    Undo1->setEnabled(false);
    // A recipe: the source, the choice and edits, the target and the file,
    // kept to be run again.
    OpenRecipe1 = addItem(this, N1, "OpenRecipe1", QStringLiteral("Open Rec&ipe..."), {});
    SaveRecipe1 = addItem(this, N1, "SaveRecipe1", QStringLiteral("S&ave Recipe..."),
                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    SaveRecipe1->setEnabled(false);
    Refresh1 = addItem(this, N1, "Refresh1", QStringLiteral("Re&fresh"), QKeySequence(Qt::Key_F5));
    Refresh1->setEnabled(false);
    AddSource1 = addItem(this, N1, "AddSource1", QStringLiteral("A&dd Source..."), {});
    AddSource1->setEnabled(false);
    SendToReceiver1 =
        addItem(this, N1, "SendToReceiver1", QStringLiteral("Send &to Receiver..."), {});
    SendToReceiver1->setEnabled(false);
    Guide1 = addItem(this, N1, "Guide1", QStringLiteral("&Guide..."), {});

    // The same bytes read in another encoding: a Cyrillic list in a code
    // page the rules did not take.
    ReopenEncoding1 = N1->addMenu(QStringLiteral("&Reopen with Encoding"));
    ReopenEncoding1->setObjectName(QStringLiteral("ReopenEncoding1"));
    ReopenEncoding1->setEnabled(false);
    for (const InputEncoding& encoding : inputEncodings()) {
        QAction* item = ReopenEncoding1->addAction(encoding.name);
        item->setObjectName(QStringLiteral("Reopen ") + encoding.name);
        const QString name = encoding.name;
        connect(item, &QAction::triggered, this, [this, name] {
            if (!m_closed)
                guarded([this, name] { reopenWithEncoding(name); });
        });
    }

    // What Save writes when "Save as UTF8" is not ticked: the system's code
    // page unless the user chooses another, as a Russian list on an English
    // system needs.
    CodePage1 = N1->addMenu(QStringLiteral("Code &Page"));
    CodePage1->setObjectName(QStringLiteral("CodePage1"));
    m_codePages = new QActionGroup(this);
    m_codePages->setExclusive(true);
    for (const CodePageName& page : kCodePages) {
        auto* item = CodePage1->addAction(
            QStringLiteral("Windows-%1 (%2)").arg(page.number).arg(QLatin1String(page.script)));
        item->setObjectName(QStringLiteral("CodePage%1").arg(page.number));
        item->setCheckable(true);
        item->setData(page.number);
        item->setChecked(page.number == TEncoding::Default().CodePage());
        m_codePages->addAction(item);
    }
    ByteOrderMark1 = N1->addAction(QStringLiteral("Byte-order &Mark"));
    ByteOrderMark1->setObjectName(QStringLiteral("ByteOrderMark1"));
    ByteOrderMark1->setCheckable(true);
    ByteOrderMark1->setChecked(false); // the first target is M3U's
    connect(ByteOrderMark1, &QAction::triggered, this,
            [this](bool checked) { m_byteOrderMarkWanted = checked; });

    D1 = addItem(this, N1, "D1", QStringLiteral("E&xit"), QKeySequence(Qt::ALT | Qt::Key_F4));

    // The link commands stand on the menu bar itself, beside "File".
    J1 = new QAction(QStringLiteral("&Program page"), this);
    J1->setObjectName(QStringLiteral("J1"));
    N7 = new QAction(QStringLiteral("&Discussion"), this);
    N7->setObjectName(QStringLiteral("N7"));
    V1 = new QAction(QStringLiteral("&News"), this);
    V1->setObjectName(QStringLiteral("V1"));
    bar->addAction(J1);
    bar->addAction(N7);
    bar->addAction(V1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N4 = addItem(this, PopupMenu1, "N4", QStringLiteral("&Paste"),
                 QKeySequence(Qt::CTRL | Qt::Key_C));
    // Ctrl+V as well, the key everybody tries first.
    N4->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_V)});
    N6 = addItem(this, PopupMenu1, "N6", QStringLiteral("Copy &all"),
                 QKeySequence(Qt::CTRL | Qt::Key_A));
    N5 = addItem(this, PopupMenu1, "N5", QStringLiteral("C&lear "),
                 QKeySequence(Qt::CTRL | Qt::Key_H));
    PopupMenu1->addAction(Undo1);
    PopupMenu1->addAction(N8);
}

void TForm8::connectHandlers() {
    // Handlers reached through a control; after FormClose they have nothing
    // left to work on.
    auto handler = [this](void (TForm8::*method)()) {
        return [this, method] {
            if (m_closed)
                return;
            // A refresh's count stands until the next action; opening a
            // menu is none yet.
            if (method != &TForm8::N1Click && method != &TForm8::PopupMenu1Popup) {
                RefreshLabel1->hide();
                EncodingLabel1->setVisible(!DownloadLabel1->isVisible());
            }
            guarded([this, method] { (this->*method)(); });
        };
    };

    connect(N1, &QMenu::aboutToShow, this, handler(&TForm8::N1Click));
    connect(N2, &QAction::triggered, this, handler(&TForm8::N2Click));
    connect(Undo1, &QAction::triggered, this, handler(&TForm8::Undo1Click));
    connect(OpenUrl1, &QAction::triggered, this, handler(&TForm8::OpenUrl1Click));
    connect(OpenProvider1, &QAction::triggered, this, handler(&TForm8::OpenProvider1Click));
    connect(DownloadCancel1, &QPushButton::clicked, this, [this] { stopReading(); });
    connect(N3, &QAction::triggered, this, handler(&TForm8::N3Click));
    connect(D1, &QAction::triggered, this, handler(&TForm8::D1Click));
    connect(PopupMenu1, &QMenu::aboutToShow, this, handler(&TForm8::PopupMenu1Popup));
    connect(N4, &QAction::triggered, this, handler(&TForm8::N4Click));
    connect(N5, &QAction::triggered, this, handler(&TForm8::N5Click));
    connect(N6, &QAction::triggered, this, handler(&TForm8::N6Click));
    connect(N8, &QAction::triggered, this, handler(&TForm8::N8Click));
    connect(OpenRecipe1, &QAction::triggered, this, handler(&TForm8::OpenRecipe1Click));
    connect(SaveRecipe1, &QAction::triggered, this, handler(&TForm8::SaveRecipe1Click));
    connect(Refresh1, &QAction::triggered, this, handler(&TForm8::Refresh1Click));
    connect(AddSource1, &QAction::triggered, this, handler(&TForm8::AddSource1Click));
    connect(SendToReceiver1, &QAction::triggered, this, handler(&TForm8::SendToReceiver1Click));
    connect(Guide1, &QAction::triggered, this, handler(&TForm8::Guide1Click));
    connect(J1, &QAction::triggered, this, handler(&TForm8::J1Click));
    connect(N7, &QAction::triggered, this, handler(&TForm8::N7Click));
    connect(V1, &QAction::triggered, this, handler(&TForm8::V1Click));
    connect(sButton1, &QPushButton::clicked, this, handler(&TForm8::sButton1Click));
    connect(sButton3, &QPushButton::clicked, this, handler(&TForm8::sButton3Click));
    connect(sCheckBox1, &QCheckBox::toggled, this, [this](bool checked) {
        if (sCheckBox1->isEnabled())
            m_utf8Wanted = checked;
    });
    connect(sMemo1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(sMemo1->viewport()->mapToGlobal(at)); });

    // A button's handler runs when it becomes checked, whoever checks it,
    // and only then: checking the checked button changes nothing. A button
    // beyond the named handlers does what its target's kind asks.
    for (int k = 0; k < kTargetCount; ++k) {
        QRadioButton* button = m_targetButtons[k];
        const TargetFormat& format = formatFor(static_cast<TTargetKind>(k));
        const Handler method = k < static_cast<int>(std::size(kTargetHandlers)) ? kTargetHandlers[k]
                               : format.converts() ? &TForm8::SelectRBTN
                                                   : &TForm8::showSourceText;
        connect(button, &QAbstractButton::toggled, this,
                [this, button, &format, click = handler(method)](bool checked) {
                    button->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus);
                    if (!checked)
                        return;
                    showEncodingChoice(format);
                    click();
                });
    }

    // Shortcuts, arrow keys and the link label are handled for every control
    // of the window; popup menus keep their own keys.
    installEventFilter(this);
    for (QWidget* widget : findChildren<QWidget*>())
        if (!widget->isWindow())
            widget->installEventFilter(this);
}

// ---------------------------------------------------------------------------
// Keys and events

bool TForm8::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        QMenu* menu = nullptr;
        if (QAction* item = shortcutItem(*key, watched == sMemo1, &menu)) {
            // Taking the override keeps the text area from claiming Ctrl+C
            // and Ctrl+A for itself; the key press that follows runs it.
            if (event->type() == QEvent::KeyPress)
                runShortcut(menu, item);
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress &&
            moveFocusByArrow(qobject_cast<QWidget*>(watched), *key))
            return true;
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier &&
            (m_download || m_providerRead)) {
            if (event->type() == QEvent::KeyPress)
                stopReading();
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        if (watched == sLabel1) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                sLabel1->rect().contains(mouse->position().toPoint())) {
                if (!m_closed)
                    guarded([this] { sLabel1Click(); });
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

QAction* TForm8::shortcutItem(const QKeyEvent& key, bool memoFocused, QMenu** menu) const {
    const QKeySequence pressed(
        QKeyCombination(key.modifiers() & ~Qt::KeypadModifier, Qt::Key(key.key())));
    auto itemOf = [&](QMenu* candidate) -> QAction* {
        for (QAction* item : candidate->actions())
            if (item->shortcuts().contains(pressed)) {
                *menu = candidate;
                return item;
            }
        return nullptr;
    };
    if (memoFocused)
        if (QAction* item = itemOf(PopupMenu1))
            return item;
    return itemOf(N1);
}

void TForm8::runShortcut(QMenu* menu, QAction* item) {
    if (m_closed)
        return;
    // The menu's opening handler decides first whether the item may act, as
    // if the menu had been opened; a disabled item swallows the key.
    guarded([&] {
        if (menu == PopupMenu1)
            PopupMenu1Popup();
        else
            N1Click();
        if (item->isEnabled())
            item->trigger();
    });
}

bool TForm8::moveFocusByArrow(QWidget* from, const QKeyEvent& key) {
    if (key.modifiers() & ~Qt::KeypadModifier)
        return false;
    bool forward;
    switch (key.key()) {
    case Qt::Key_Right:
    case Qt::Key_Down:
        forward = true;
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
        forward = false;
        break;
    default:
        return false;
    }
    // From the text area the arrows move its view; from the other controls
    // they walk the tab order, not the screen.
    const auto at = std::find(m_tabOrder.begin(), m_tabOrder.end(), from);
    if (from == sMemo1 || at == m_tabOrder.end())
        return false;
    const int count = static_cast<int>(m_tabOrder.size());
    const int index = static_cast<int>(at - m_tabOrder.begin());
    for (int step = 1; step < count; ++step) {
        QWidget* next = m_tabOrder[(index + (forward ? step : count - step)) % count];
        if (!next->isEnabled() || !next->isVisibleTo(this))
            continue;
        next->setFocus(Qt::OtherFocusReason);
        if (auto* radio = qobject_cast<QRadioButton*>(next); radio && !radio->isChecked())
            radio->setChecked(true);
        break;
    }
    return true;
}

void TForm8::closeEvent(QCloseEvent* event) {
    if (!m_closed) {
        m_closed = true;
        guarded([this] { FormClose(); });
    }
    event->accept();
}

QString TForm8::droppedPlaylistFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls())
        return {};
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.constFirst().isLocalFile())
        return {};
    // A file on another computer is not this one's file of that path.
    if (const QString host = urls.constFirst().host();
        !host.isEmpty() && host.compare(u"localhost", Qt::CaseInsensitive) != 0)
        return {};
    const QString path = localFileOf(urls.constFirst());
    return QFileInfo(path).isDir() ? QString() : path;
}

QUrl TForm8::droppedWebAddress(const QMimeData* mime) {
    if (!mime || !mime->hasUrls())
        return {};
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !isWebScheme(urls.constFirst()) || urls.constFirst().host().isEmpty())
        return {};
    return urls.constFirst();
}

void TForm8::dragEnterEvent(QDragEnterEvent* event) {
    if (!m_closed && (!droppedPlaylistFile(event->mimeData()).isEmpty() ||
                      !droppedWebAddress(event->mimeData()).isEmpty()))
        event->acceptProposedAction();
}

void TForm8::dropEvent(QDropEvent* event) {
    if (m_closed)
        return;
    const QString path = droppedPlaylistFile(event->mimeData());
    const QUrl url = droppedWebAddress(event->mimeData());
    if (path.isEmpty() && url.isEmpty())
        return;
    event->acceptProposedAction();
    guarded([&] {
        if (!path.isEmpty())
            loadPlaylistFile(path);
        else
            openAddress(url);
    });
}

// ---------------------------------------------------------------------------
// Creation and closing

void TForm8::FormCreate() {
    ResultList = std::make_unique<TStringList>();
    SourceList = std::make_unique<TStringList>();
    LoadedList = std::make_unique<TStringList>();
    sRadioButton1->setChecked(true);
}

void TForm8::FormClose() {
    // A run must neither outlive the lists nor keep the program from ending.
    cancelDownload();
    stopRun();
    m_channelIndex.reset();
    ResultList.reset();
    SourceList.reset();
    LoadedList.reset();
}

// ---------------------------------------------------------------------------
// Playlist intake

TTargetKind TForm8::selectedTarget() const {
    return static_cast<TTargetKind>(m_targetGroup->checkedId());
}

void TForm8::N2Click() {
    if (!sOpenDialog1->execute(this))
        return;
    loadPlaylistFile(sOpenDialog1->fileName());
}

// The name a list's own format gave it (a bouquet's) names the output,
// before the name of its file or address.
static SourceName playlistName(const TakenPlaylist& taken, SourceName otherwise) {
    return taken.name.isEmpty() ? std::move(otherwise) : SourceName::named(taken.name);
}

void TForm8::loadPlaylistFile(const QString& fileName) {
    // Read aside first: a file that cannot be read changes nothing, not even
    // a run in progress.
    TakenPlaylist taken = takeFile(fileName);
    const SourceName name = playlistName(taken, SourceName::ofFile(fileName));
    takeRead(std::move(taken), name, {PlaylistSource::Kind::File, fileName, {}, {}, {}});
}

void TForm8::takeRead(TakenPlaylist&& taken, SourceName name, PlaylistSource source) {
    // Only bytes that are not UTF-8 leave room for a better guess.
    QString hint;
    if (source.kind != PlaylistSource::Kind::Text && taken.reading.encoding != u"UTF-8" &&
        !taken.reading.encoding.startsWith(u"UTF-16")) {
        // The start of the file says as much as all of it.
        QByteArray bytes = source.bytes;
        if (QFile file(source.fileName);
            source.kind == PlaylistSource::Kind::File && file.open(QIODevice::ReadOnly))
            bytes = file.read(512 * 1024);
        if (const InputEncoding* guess = guessedEncoding(bytes);
            guess && guess->name != taken.reading.encoding)
            hint = QStringLiteral("Похоже на %1: File > Reopen with Encoding").arg(guess->name);
    }
    takePlaylist(std::move(taken.lines), std::move(name));
    m_source = std::move(source);
    m_reading = std::move(taken.reading);
    m_readingHint = hint;
    showReading();
}

void TForm8::showReading() {
    QString text = m_reading.text();
    if (!m_readingHint.isEmpty())
        text += QStringLiteral(" · ") + m_readingHint;
    EncodingLabel1->setText(LoadedList->Count() > 0 ? text : QString());
    EncodingLabel1->setVisible(!DownloadLabel1->isVisible());
    ReopenEncoding1->setEnabled(m_source.kind == PlaylistSource::Kind::File ||
                                m_source.kind == PlaylistSource::Kind::Address);
}

void TForm8::reopenWithEncoding(const QString& name) {
    const InputEncoding* encoding = inputEncodingByName(name);
    if (!encoding)
        return;
    PlaylistSource source = m_source;
    QByteArray bytes;
    SourceName fallbackName;
    if (source.kind == PlaylistSource::Kind::File) {
        bytes = readWholeFile(source.fileName);
        fallbackName = SourceName::ofFile(source.fileName);
    } else if (source.kind == PlaylistSource::Kind::Address) {
        bytes = source.bytes;
        fallbackName = SourceName::ofAddress(source.url);
    } else {
        return; // a text holds no bytes to read otherwise
    }
    TakenPlaylist taken = takeBytesAs(bytes, *encoding);
    const SourceName playlist = playlistName(taken, fallbackName);
    const TTargetKind target = selectedTarget();
    takeRead(std::move(taken), playlist, std::move(source));
    // The same list read otherwise: the user's target stays.
    if (m_loadedChannels > 0 && target != selectedTarget())
        m_targetButtons[static_cast<size_t>(target)]->click();
}

void TForm8::rememberForUndo() {
    m_remembered = LoadedList->Count() > 0;
    if (!m_remembered)
        return;
    Replaced replaced;
    replaced.lines = *LoadedList; // shares the text
    replaced.name = m_sourceName;
    replaced.chosen = m_chosen;
    replaced.onePerAddress = m_onePerAddress;
    replaced.edits = m_edits;
    replaced.loadedChannels = m_loadedChannels;
    replaced.target = selectedTarget();
    replaced.reading = m_reading;
    replaced.readingHint = m_readingHint;
    replaced.source = m_source;
    replaced.moreSources = m_moreSources;
    replaced.sourceEntries = m_sourceEntries;
    replaced.takenRecipe = m_takenRecipe;
    replaced.gone = m_gone;
    m_undo.push_back(std::move(replaced));
    // Ten steps, and no more than 1 GiB of replaced playlists: the oldest go.
    constexpr size_t kSteps = 10;
    constexpr qint64 kBytes = qint64(1) << 30;
    const auto held = [this] {
        qint64 bytes = 0;
        for (const Replaced& step : m_undo)
            bytes += qint64(step.lines.textAppended()) * qint64(sizeof(QChar)) +
                     step.source.bytes.size();
        return bytes;
    };
    while (m_undo.size() > kSteps || (m_undo.size() > 1 && held() > kBytes))
        m_undo.pop_front();
    Undo1->setEnabled(true);
}

void TForm8::Undo1Click() {
    if (m_undo.empty())
        return;
    Replaced back = std::move(m_undo.back());
    m_undo.pop_back();
    cancelDownload();
    resetChoice();
    *LoadedList = back.lines;
    m_sourceName = std::move(back.name);
    m_source = std::move(back.source);
    m_reading = std::move(back.reading);
    m_readingHint = std::move(back.readingHint);
    m_loadedChannels = back.loadedChannels;
    m_chosen = std::move(back.chosen);
    m_onePerAddress = back.onePerAddress;
    m_edits = std::move(back.edits);
    m_moreSources = std::move(back.moreSources);
    m_sourceEntries = std::move(back.sourceEntries);
    m_takenRecipe = std::move(back.takenRecipe);
    m_gone = std::move(back.gone);
    N8->setEnabled(m_loadedChannels > 0);
    Undo1->setEnabled(!m_undo.empty());
    // The target first, without a run: the playlist shown next starts the
    // run it needs.
    {
        const QSignalBlocker quiet(m_targetGroup);
        m_targetButtons[static_cast<size_t>(back.target)]->setChecked(true);
    }
    showEncodingChoice(formatFor(back.target));
    applyChoice();
    showReading();
}

void TForm8::N4Click() {
    const QString text = clipboardText();
    // A file's address copied from a file manager: that file.
    if (const QString file = fileOfAddress(text); !file.isEmpty()) {
        loadPlaylistFile(file);
        return;
    }
    // A provider's link copied from a mail or a web page: what it leads to.
    if (const QUrl url = webAddressIn(text); !url.isEmpty()) {
        openAddress(url);
        return;
    }
    TakenPlaylist taken = takeText(text);
    const SourceName name = playlistName(taken, SourceName());
    takeRead(std::move(taken), name, {PlaylistSource::Kind::Text, {}, {}, {}, {}});
}

void TForm8::OpenUrl1Click() {
    // The proposal never shows a password; taken unchanged, it stands for
    // the address it hides.
    const QString proposed = maskedAddress(m_lastAddress);
    QString answer;
    if (!AddressDialog::ask(this, proposed, answer))
        return;
    answer = answer.trimmed();
    if (!m_lastAddress.isEmpty() && answer == proposed)
        answer = m_lastAddress;
    m_lastAddress = answer;
    if (const QString file = fileOfAddress(answer); !file.isEmpty())
        loadPlaylistFile(file);
    else
        openAddress(parseWebAddress(answer));
}

void TForm8::openAddress(const QUrl& url) {
    // A provider's M3U address: its interface stands in when it is blocked.
    if (const auto login = loginOfGetAddress(url)) {
        m_lastAddress = url.toString();
        openProvider(*login, url);
        return;
    }
    cancelDownload();
    // Any other download is no longer the recipe's.
    m_pendingRecipe.reset();
    m_refreshedFrom.reset();
    m_lastAddress = url.toString(); // a pasted or dropped one too
    m_download = std::make_unique<Download>(url);
    connect(m_download.get(), &Download::progress, this, &TForm8::showDownloadProgress);
    connect(m_download.get(), &Download::finished, this, [this] {
        if (!m_closed)
            guarded([this] { endOfDownload(); });
    });
    showProgressControls();
}

void TForm8::showDownloadProgress(qint64 received, qint64 total) {
    EncodingLabel1->hide();
    LostLabel1->hide();
    if (total > 0) {
        const int percent = static_cast<int>(std::min<qint64>(100, received * 100 / total));
        DownloadBar1->setRange(0, 100);
        DownloadBar1->setValue(percent);
        DownloadLabel1->setText(QStringLiteral("Загружено %1 из %2 (%3 %)")
                                    .arg(sizeText(received), sizeText(total))
                                    .arg(percent));
    } else {
        DownloadBar1->setRange(0, 0); // moving: the size is not known
        DownloadLabel1->setText(QStringLiteral("Загружено %1").arg(sizeText(received)));
    }
}

// The progress of a download or a provider's reading, with its Cancel,
// from nothing received yet; cancelDownload() hides them again.
void TForm8::showProgressControls() {
    showDownloadProgress(0, -1);
    DownloadLabel1->show();
    DownloadBar1->show();
    DownloadCancel1->show();
}

void TForm8::cancelDownload() noexcept {
    DownloadLabel1->hide();
    DownloadBar1->hide();
    DownloadCancel1->hide();
    EncodingLabel1->show();
    m_download.reset();
    m_providerRead.reset();
    m_moreReading.reset();
    // The width the progress had before a longer note took the place.
    if (const QVariant width = DownloadLabel1->property("progressWidth"); width.isValid())
        DownloadLabel1->resize(width.toInt(), DownloadLabel1->height());
}

void TForm8::endOfDownload() {
    if (!m_download)
        return;
    // Released once its signal has returned.
    Download* done = m_download.release();
    done->deleteLater();
    cancelDownload();
    if (done->status() != Download::Status::Succeeded)
        throw EFOpenError(done->errorMessage());

    // Read aside, as a file is: without a channel it changes nothing.
    QByteArray bytes = done->takeBytes();
    TakenPlaylist taken = takeBytes(bytes);
    if (channelCount(taken.lines) == 0)
        throw EFOpenError(noChannelsAtUrlText(done->url()));
    const SourceName name = playlistName(taken, SourceName::ofAddress(done->url()));
    std::unique_ptr<TStringList> before = std::move(m_refreshedFrom);
    takeRead(std::move(taken), name,
             {PlaylistSource::Kind::Address, {}, done->url(), std::move(bytes), {}});
    endOfRecipeDownload(before.get());
}

void TForm8::OpenProvider1Click() {
    ProviderAnswer answer{m_lastProviderServer, m_lastProviderUser, {}, true, false};
    if (!ProviderDialog::ask(this, answer))
        return;
    m_lastProviderServer = answer.server.trimmed();
    m_lastProviderUser = answer.user;
    ProviderLogin login;
    login.server = providerServer(answer.server);
    login.user = answer.user;
    login.password = answer.password;
    login.live = answer.live;
    login.movies = answer.movies;
    if (!login.live && !login.movies)
        throw EFOpenError(QStringLiteral("Cannot open \"%1\". Neither Live TV nor Movies is chosen")
                              .arg(serverText(login.server)));
    openProvider(login);
}

void TForm8::openProvider(const ProviderLogin& login, const QUrl& getAddress) {
    cancelDownload();
    // Any other reading is no longer the recipe's.
    m_pendingRecipe.reset();
    m_refreshedFrom.reset();
    m_providerRead = std::make_unique<ProviderRead>(login, getAddress);
    connect(m_providerRead.get(), &ProviderRead::progress, this, &TForm8::showDownloadProgress);
    connect(m_providerRead.get(), &ProviderRead::finished, this, [this] {
        if (!m_closed)
            guarded([this] { endOfProviderRead(); });
    });
    showProgressControls();
}

void TForm8::endOfProviderRead() {
    if (!m_providerRead)
        return;
    // Released once its signal has returned.
    ProviderRead* done = m_providerRead.release();
    done->deleteLater();
    cancelDownload();
    if (done->status() != ProviderRead::Status::Succeeded)
        throw EFOpenError(done->errorMessage());

    TStringList lines;
    lines.setText(decodeFileBytes(done->takeBytes(), TEncoding::UTF8()));
    if (channelCount(lines) == 0)
        throw EFOpenError(noChannelsAtUrlText(done->login().server));
    std::unique_ptr<TStringList> before = std::move(m_refreshedFrom);
    takePlaylist(std::move(lines), done->fellBack() ? SourceName::ofServer(done->login().server)
                                                    : SourceName::ofAddress(done->getAddress()));
    // Remembered so that a refresh or a recipe reads it again.
    m_source.kind = PlaylistSource::Kind::Provider;
    m_source.url = done->getAddress();
    m_source.provider = done->login();
    endOfRecipeDownload(before.get());
    if (done->fellBack() && !done->getAddress().isEmpty()) {
        // Said where the download's progress was, until the next download.
        DownloadLabel1->setProperty("progressWidth", DownloadLabel1->width());
        DownloadLabel1->setText(QStringLiteral(
            "Адрес get.php не дал каналов: они прочитаны через интерфейс провайдера"));
        DownloadLabel1->adjustSize();
        DownloadLabel1->show();
    }
    // Said until the next action, as a refresh's count is.
    if (const QDate expired = done->expiredButServed(); expired.isValid()) {
        EncodingLabel1->hide();
        RefreshLabel1->setText(
            QStringLiteral("Срок учётной записи истёк %1, но провайдер ещё отвечает")
                .arg(expired.toString(QStringLiteral("dd.MM.yyyy"))));
        RefreshLabel1->show();
    }
}

void TForm8::takePlaylist(TStringList&& lines, SourceName name) {
    // The playlist taken last wins: a download still running would replace
    // it when it ends.
    cancelDownload();
    rememberForUndo();
    // A playlist from elsewhere than a file or address (a provider's) is
    // read again only by reading it anew; its reading is not bytes.
    m_source = {};
    m_reading = {};
    m_readingHint.clear();
    resetChoice();
    *LoadedList = lines; // the text itself is shared, not copied
    m_sourceName = std::move(name);
    m_loadedChannels = showPlaylist(std::move(lines));
    if (m_loadedChannels == 0)
        LoadedList->Clear();
    N8->setEnabled(m_loadedChannels > 0);
}

void TForm8::resetChoice() {
    m_moreSources.clear();
    m_sourceEntries.clear();
    m_takenRecipe = {};
    m_gone = {};
    m_channelIndex.reset();
    m_chosen.clear();
    m_onePerAddress = false;
    m_edits = {};
    m_loadedChannels = 0;
}

int TForm8::showPlaylist(TStringList&& lines) {
    // A run goes no further once its playlist is replaced, so that no output
    // ever mixes two playlists; what it wrote is dropped.
    if (stopRun())
        ResultList->Clear();
    *SourceList = std::move(lines);

    const int count = channelCount(*SourceList);
    if (count >= 1) {
        if (count < m_loadedChannels) // a choice leaves channels out
            sLabel2->setText(QStringLiteral("%1 %2 из %3")
                                 .arg(count)
                                 .arg(PluralForm(count, u"канал", u"канала", u"каналов"))
                                 .arg(m_loadedChannels));
        else
            sLabel2->setText(channelCountText(count));
        sLabel2->adjustSize();
        sImage2->show();
        setPlaylistControlsEnabled(true);
        // The text area always holds what the selected target makes of the
        // playlist: under a converting target that is a new run, as
        // selecting the target starts; Save could otherwise write the
        // playlist itself under that target's name.
        if (formatFor(selectedTarget()).converts())
            SelectRBTN();
        else
            sMemo1->setLines(*SourceList);
    } else {
        // Said, so that an empty window is not taken for a failure to read.
        sLabel2->setText(QStringLiteral("Каналы не найдены"));
        sLabel2->adjustSize();
        sImage2->hide();
        setPlaylistControlsEnabled(false);
        SourceList->Clear();
        sMemo1->setText(QString());
    }
    return count;
}

// Groups and channels by name, one a line, the first 20 of them.
static QString goneText(const QStringList& groups, const std::vector<ChannelKey>& channels) {
    RecipeGone gone;
    gone.chosenGroups = groups;
    gone.chosenChannels = channels;
    const QStringList names = lostNames(gone);
    return firstNamesText(names, int(names.size()), QStringLiteral("и ещё %1"));
}

void TForm8::N8Click() {
    if (LoadedList->Count() == 0)
        return;
    if (!m_channelIndex)
        m_channelIndex = std::make_unique<ChannelIndex>(*LoadedList);
    ChannelsDialog dialog(*m_channelIndex, m_chosen, m_onePerAddress, m_edits, m_sourceEntries,
                          this);
    dialog.offerForgetGone(goneText(m_gone.groups, m_gone.channels));
    if (!dialog.execute())
        return;
    if (dialog.forgetGone())
        m_gone = {};
    m_chosen = dialog.chosen();
    m_onePerAddress = dialog.onePerAddress();
    m_edits = dialog.edits();
    applyChoice();
}

static bool edited(const ChannelEdits& edits) {
    return !edits.names.isEmpty() || !edits.groupNames.isEmpty() || !edits.groupOrder.empty() ||
           !edits.channelOrder.empty() || edits.sortByName;
}

void TForm8::applyChoice() {
    if (edited(m_edits)) {
        // Renamed or reordered: the playlist is what its recipe makes of
        // it, as dorvane-convert --recipe makes it.
        if (!m_channelIndex)
            m_channelIndex = std::make_unique<ChannelIndex>(*LoadedList);
        const Recipe recipe = editedRecipe(*m_channelIndex, m_chosen, m_onePerAddress, m_edits);
        showPlaylist(applyRecipe(recipe, *LoadedList).lines);
        return;
    }
    const bool all = !m_onePerAddress && std::all_of(m_chosen.begin(), m_chosen.end(),
                                                     [](char chosen) { return chosen != 0; });
    if (!all && !m_channelIndex)
        m_channelIndex = std::make_unique<ChannelIndex>(*LoadedList);
    showPlaylist(all ? TStringList(*LoadedList)
                     : m_channelIndex->chosenLines(m_chosen, m_onePerAddress));
}

// ---------------------------------------------------------------------------
// Recipes

void TForm8::OpenRecipe1Click() {
    if (!RecipeOpenDialog1->execute(this))
        return;
    openRecipe(RecipeOpenDialog1->fileName());
}

void TForm8::openRecipe(const QString& fileName) {
    const Recipe recipe = readRecipe(fileName);
    switch (recipe.source.kind) {
    case RecipeSource::Kind::File: {
        TakenPlaylist taken = takeFile(recipe.source.file);
        const SourceName name = playlistName(taken, SourceName::ofFile(recipe.source.file));
        takeRead(std::move(taken), name,
                 {PlaylistSource::Kind::File, recipe.source.file, {}, {}, {}});
        m_pendingRecipe = std::make_unique<Recipe>(recipe);
        endOfRecipeDownload(nullptr);
        break;
    }
    case RecipeSource::Kind::Url:
        openAddress(parseWebAddress(recipe.source.url));
        m_pendingRecipe = std::make_unique<Recipe>(recipe);
        break;
    case RecipeSource::Kind::Provider: {
        ProviderLogin login;
        login.server = providerServer(recipe.source.server);
        login.user = recipe.source.user;
        login.password = recipe.source.password;
        login.live = recipe.source.live;
        login.movies = recipe.source.movies;
        if (login.password.isEmpty()) {
            // Not kept in the recipe: asked for, the rest filled in.
            ProviderAnswer answer{
                serverText(login.server), login.user, {}, login.live, login.movies};
            if (!ProviderDialog::ask(this, answer))
                return;
            login.server = providerServer(answer.server);
            login.user = answer.user;
            login.password = answer.password;
            login.live = answer.live;
            login.movies = answer.movies;
        }
        openProvider(login);
        m_pendingRecipe = std::make_unique<Recipe>(recipe);
        break;
    }
    }
    RecipeSaveDialog1->setFileName(fileName);
}

// The blocks a playlist adds when joined: one per name line.
static int blocksIn(const TStringList& lines) {
    int blocks = 0;
    for (int line = 0; line < lines.Count(); ++line)
        blocks += isNameLine(lines.line(line)) ? 1 : 0;
    return blocks;
}

void TForm8::joinSource(TStringList&& list, const QString& name) {
    const int before = blocksIn(*LoadedList);
    if (m_sourceEntries.empty())
        m_sourceEntries.push_back({m_sourceName.text().toString(), 0});
    m_sourceEntries.push_back({name, before});
    TStringList joined = joinedPlaylists({*LoadedList, std::move(list)});
    *LoadedList = joined; // shares the text
    m_channelIndex.reset();
    m_loadedChannels = showPlaylist(std::move(joined));
}

void TForm8::AddSource1Click() {
    if (LoadedList->Count() == 0 || m_download || m_providerRead)
        return;
    if (!sOpenDialog1->execute(this))
        return;
    const QString fileName = QFileInfo(sOpenDialog1->fileName()).absoluteFilePath();
    TakenPlaylist taken = takeFile(fileName);
    if (channelCount(taken.lines) == 0)
        throw EFOpenError(QStringLiteral("Cannot add \"%1\". It holds no channels.")
                              .arg(QDir::toNativeSeparators(fileName)));
    Recipe recipe = currentRecipe();
    rememberForUndo();
    RecipeSource added;
    added.file = fileName;
    recipe.moreSources.push_back(added);
    const int before = m_channelIndex->blockCount();
    m_moreSources = recipe.moreSources;
    const SourceName name = playlistName(taken, SourceName::ofFile(fileName));
    joinSource(std::move(taken.lines), name.text().toString());
    // The recipe's choice and edits on the joined playlist, the new
    // channels chosen.
    recipe.moreSources.clear(); // read already
    takeRecipe(recipe);
    for (size_t block = size_t(before); block < m_chosen.size(); ++block)
        m_chosen[block] = 1;
    applyChoice();
}

void TForm8::takeRecipe(const Recipe& recipe) {
    if (LoadedList->Count() == 0)
        return;
    m_channelIndex = std::make_unique<ChannelIndex>(*LoadedList);
    RecipeChoice choice = recipeChoice(recipe, *m_channelIndex);
    m_takenRecipe = recipe;
    m_gone = goneFrom(recipe, *m_channelIndex);
    m_chosen = std::move(choice.chosen);
    m_onePerAddress = choice.onePerAddress;
    m_edits = std::move(choice.edits);
    // A bouquet per group's output is the folder they are written into.
    const bool bouquetFolder =
        recipe.receiver.perGroup && (recipe.target.isEmpty() || recipe.target == u"enigma2");
    m_savedFile = bouquetFolder ? QString() : recipe.output;
    m_savedFolder = bouquetFolder ? recipe.output : QString();
    m_guides = recipe.guide.guides;
    // The password given this session stays for the same receiver.
    if (!recipe.receiver.password.isEmpty() || recipe.receiver.address != m_receiver.address)
        m_boxPassword = recipe.receiver.password;
    m_receiver = recipe.receiver;
    PerGroupCheck1->setChecked(recipe.receiver.perGroup);
    if (!recipe.target.isEmpty()) {
        const TargetFormat* format = formatByCliName(recipe.target);
        if (!format)
            throw EReadError(QStringLiteral("Unknown target \"%1\".").arg(recipe.target));
        const QSignalBlocker quiet(m_targetGroup);
        m_targetButtons[static_cast<size_t>(format->kind())]->setChecked(true);
    }
    if (recipe.codePage != 0)
        for (QAction* item : m_codePages->actions())
            if (item->data().toInt() == recipe.codePage)
                item->setChecked(true);
    if (recipe.enigma2Type != 0) {
        const QSignalBlocker quiet(Enigma2Type1);
        Enigma2Type1->setCurrentIndex(Enigma2Type1->findData(recipe.enigma2Type));
    }
    const TargetFormat& format = formatFor(selectedTarget());
    if (format.allowsAnsi())
        m_utf8Wanted = !recipe.ansi;
    showEncodingChoice(format);
    applyChoice();
}

void TForm8::endOfRecipeDownload(const TStringList* before) {
    std::unique_ptr<Recipe> recipe = std::move(m_pendingRecipe);
    if (!recipe)
        return;
    m_skippedSources.clear();
    if (recipe->moreSources.empty() || LoadedList->Count() == 0) {
        takeRecipe(*recipe);
        reportRecipe(before);
        return;
    }
    auto reading = std::make_unique<MoreReading>();
    reading->recipe = std::move(*recipe);
    if (before)
        reading->before = std::make_unique<TStringList>(*before);
    reading->lists.push_back(*LoadedList);
    reading->entries.push_back({m_sourceName.text().toString(), 0});
    reading->blocks = blocksIn(*LoadedList);
    // Kept whatever happens: a recipe saved meanwhile still names them.
    m_moreSources = reading->recipe.moreSources;
    m_moreReading = std::move(reading);
    readMoreSources();
}

// A source as the status bar names it: never with a password.
static QString sourceText(const RecipeSource& source) {
    switch (source.kind) {
    case RecipeSource::Kind::File:
        return QFileInfo(source.file).fileName();
    case RecipeSource::Kind::Url:
        return maskedAddress(source.url);
    case RecipeSource::Kind::Provider:
        return source.server;
    }
    return {};
}

void TForm8::addMoreRead(TStringList&& lines, const QString& name) {
    MoreReading& reading = *m_moreReading;
    reading.entries.push_back({name, reading.blocks});
    reading.blocks += blocksIn(lines);
    reading.lists.push_back(std::move(lines));
}

void TForm8::stopReading() {
    // Stopped while a recipe's further source is read: the playlist as it
    // was before, not the first source alone.
    if (m_moreReading)
        guarded([this] { undoMoreSources(); });
    else
        cancelDownload();
}

void TForm8::undoMoreSources() {
    m_moreReading.reset();
    if (m_remembered)
        Undo1Click();
    else
        N5Click(); // the window was empty
}

void TForm8::readMoreSources() {
    for (; m_moreReading->next < m_moreReading->recipe.moreSources.size(); ++m_moreReading->next) {
        const RecipeSource source = m_moreReading->recipe.moreSources[m_moreReading->next];
        try {
            if (source.kind == RecipeSource::Kind::File) {
                TakenPlaylist taken = takeFile(source.file);
                const SourceName name = playlistName(taken, SourceName::ofFile(source.file));
                addMoreRead(std::move(taken.lines), name.text().toString());
                continue;
            }
            // Read as the first source would be; it goes on in endOfMoreSource.
            if (source.kind == RecipeSource::Kind::Url) {
                m_download = std::make_unique<Download>(parseWebAddress(source.url));
                connect(m_download.get(), &Download::progress, this, &TForm8::showDownloadProgress);
                connect(m_download.get(), &Download::finished, this, [this] {
                    if (!m_closed)
                        guarded([this] { endOfMoreSource(); });
                });
            } else {
                ProviderLogin login;
                login.server = providerServer(source.server);
                login.user = source.user;
                login.password = source.password;
                login.live = source.live;
                login.movies = source.movies;
                if (login.password.isEmpty())
                    throw EFOpenError(
                        QStringLiteral("Cannot read \"%1\". The recipe keeps no password for it.")
                            .arg(serverText(login.server)));
                m_providerRead = std::make_unique<ProviderRead>(login, QUrl());
                connect(m_providerRead.get(), &ProviderRead::progress, this,
                        &TForm8::showDownloadProgress);
                connect(m_providerRead.get(), &ProviderRead::finished, this, [this] {
                    if (!m_closed)
                        guarded([this] { endOfMoreSource(); });
                });
            }
            showProgressControls();
            return;
        } catch (const Exception&) {
            if (!source.optional) {
                undoMoreSources();
                throw;
            }
            m_moreReading->skipped << sourceText(source);
        }
    }
    // All read: one playlist, the recipe's.
    std::unique_ptr<MoreReading> done = std::move(m_moreReading);
    TStringList joined = joinedPlaylists(done->lists);
    *LoadedList = joined; // shares the text
    m_channelIndex.reset();
    m_loadedChannels = showPlaylist(std::move(joined));
    takeRecipe(done->recipe);
    m_sourceEntries =
        done->entries.size() > 1 ? std::move(done->entries) : std::vector<ChannelSource>();
    m_skippedSources = done->skipped;
    reportRecipe(done->before.get());
}

void TForm8::endOfMoreSource() {
    if (!m_moreReading || (!m_download && !m_providerRead))
        return;
    const RecipeSource source = m_moreReading->recipe.moreSources[m_moreReading->next];
    TStringList lines;
    QString name;
    QString error;
    if (m_download) {
        // Released once its signal has returned.
        Download* done = m_download.release();
        done->deleteLater();
        if (done->status() != Download::Status::Succeeded) {
            error = done->errorMessage();
        } else {
            QByteArray bytes = done->takeBytes();
            TakenPlaylist taken = takeBytes(bytes);
            name = playlistName(taken, SourceName::ofAddress(done->url())).text().toString();
            lines = std::move(taken.lines);
            if (channelCount(lines) == 0)
                error = noChannelsAtUrlText(done->url());
        }
    } else {
        ProviderRead* done = m_providerRead.release();
        done->deleteLater();
        if (done->status() != ProviderRead::Status::Succeeded) {
            error = done->errorMessage();
        } else {
            lines.setText(decodeFileBytes(done->takeBytes(), TEncoding::UTF8()));
            name = SourceName::ofServer(done->login().server).text().toString();
            if (channelCount(lines) == 0)
                error = noChannelsAtUrlText(done->login().server);
        }
    }
    // The progress hidden, the reading kept.
    std::unique_ptr<MoreReading> reading = std::move(m_moreReading);
    cancelDownload();
    m_moreReading = std::move(reading);
    if (error.isEmpty()) {
        addMoreRead(std::move(lines), name);
    } else if (source.optional) {
        m_moreReading->skipped << sourceText(source);
    } else {
        undoMoreSources();
        throw EFOpenError(error);
    }
    ++m_moreReading->next;
    readMoreSources();
}

void TForm8::reportRecipe(const TStringList* before) {
    std::optional<ChannelChanges> changes;
    if (before)
        changes = compareChannels(*before, *SourceList);
    if (!changes && !m_gone.lost() && m_skippedSources.isEmpty())
        return;
    // The counts stand in the status bar, the names in a box.
    QStringList status;
    QString text;
    QString details;
    if (changes) {
        status << QStringLiteral("новых: %1, пропало: %2").arg(changes->added).arg(changes->gone);
        text = QStringLiteral("Список обновлён: новых каналов %1, пропало %2.")
                   .arg(changes->added)
                   .arg(changes->gone);
        if (changes->added > 0)
            details +=
                QStringLiteral("Новые каналы:\n") +
                firstNamesText(changes->addedNames, changes->added, QStringLiteral("и ещё %1"));
        if (changes->gone > 0)
            details +=
                QStringLiteral("Пропавшие каналы:\n") +
                firstNamesText(changes->goneNames, changes->gone, QStringLiteral("и ещё %1"));
    }
    if (m_gone.lost()) {
        const QString counts = QStringLiteral("групп: %1, каналов: %2")
                                   .arg(m_gone.chosenGroups.size())
                                   .arg(m_gone.chosenChannels.size());
        status << QStringLiteral("нет в списке: %1").arg(counts);
        if (!text.isEmpty())
            text += u'\n';
        text += QStringLiteral("Рецепт выбирает то, чего больше нет в списке (%1); "
                               "рецепт их помнит.")
                    .arg(counts);
        details += QStringLiteral("Нет в списке:\n") +
                   goneText(m_gone.chosenGroups, m_gone.chosenChannels);
    }
    if (!m_skippedSources.isEmpty())
        status << QStringLiteral("пропущено источников: %1 (%2)")
                      .arg(m_skippedSources.size())
                      .arg(m_skippedSources.join(QStringLiteral(", ")));
    EncodingLabel1->hide();
    RefreshLabel1->setText(status.join(QStringLiteral("; ")));
    RefreshLabel1->show();
    if (!details.isEmpty())
        MessageBox::showDetails(this,
                                m_gone.lost() ? QMessageBox::Warning : QMessageBox::Information,
                                applicationTitle(), text, details);
    // A recipe that holds a receiver refreshes it too, once confirmed.
    if (before && !m_receiver.address.isEmpty() &&
        MessageBox::show(
            this, QMessageBox::Question, applicationTitle(),
            QStringLiteral("Отправить списки на ресивер %1?").arg(QUrl(m_receiver.address).host()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes)
        guarded([this] { sendToReceiver(m_boxPassword.isEmpty()); });
}

void TForm8::SendToReceiver1Click() {
    if (LoadedList->Count() == 0)
        return;
    sendToReceiver(true);
}

void TForm8::sendToReceiver(bool ask) {
    SendAnswer answer;
    const QUrl stored(m_receiver.address);
    if (!m_receiver.address.isEmpty()) {
        QUrl bare = stored;
        bare.setUserInfo(QString());
        answer.address = bare.toString();
        answer.user = stored.userName();
    }
    answer.password = m_boxPassword;
    answer.rememberPassword = !m_receiver.password.isEmpty();
    if (!m_receiver.prefix.isEmpty())
        answer.prefix = m_receiver.prefix;
    answer.perGroup = m_receiver.perGroup;
    if (ask && !SendDialog::ask(this, answer))
        return;
    SendPlan plan;
    plan.folder = sendFolder(answer);
    plan.password = answer.password;
    plan.prefix = answer.prefix;
    plan.reload = answer.reload;
    plan.acceptNewHostKey = answer.acceptNewHostKey;
    m_receiver.address = plan.folder.toString();
    m_receiver.password = answer.rememberPassword ? answer.password : QString();
    m_receiver.prefix =
        answer.prefix == QStringView(kDefaultBouquetPrefix) ? QString() : answer.prefix;
    PerGroupCheck1->setChecked(answer.perGroup); // and so m_receiver.perGroup
    m_boxPassword = answer.password;

    const std::vector<Bouquet> bouquets = chosenBouquets(plan.prefix, m_receiver.perGroup);
    int channels = 0;
    for (const Bouquet& bouquet : bouquets)
        channels += bouquet.channels;
    if (channels == 0)
        throw EWriteError(QStringLiteral("No channels chosen to send."));
    const SendReport report = runSend(this, bouquets, plan);
    if (!report.reloadProblem.isEmpty())
        throw EWriteError(QStringLiteral("Sent, but the reload failed: %1. Reload the lists on "
                                         "the receiver or restart it.")
                              .arg(report.reloadProblem));
    EncodingLabel1->hide();
    RefreshLabel1->setText(
        QStringLiteral("отправлено букетов: %1, каналов: %2").arg(report.files).arg(channels));
    RefreshLabel1->show();
}

std::vector<Bouquet> TForm8::chosenBouquets(const QString& prefix, bool perGroup) {
    // The choice and edits as a recipe's, whatever the playlist came from.
    if (!m_channelIndex)
        m_channelIndex = std::make_unique<ChannelIndex>(*LoadedList);
    const Recipe recipe = editedRecipe(*m_channelIndex, m_chosen, m_onePerAddress, m_edits);
    const AppliedRecipe applied = applyRecipe(recipe, *LoadedList);
    TargetOptions options;
    options.enigma2Type = Enigma2Type1->currentData().toInt();
    return makeBouquets(applied.lines, m_sourceName, prefix, perGroup, recipe.groupNames,
                        m_receiver.slugs, options);
}

Recipe TForm8::currentRecipe() {
    if (!m_channelIndex)
        m_channelIndex = std::make_unique<ChannelIndex>(*LoadedList);
    Recipe recipe = editedRecipe(*m_channelIndex, m_chosen, m_onePerAddress, m_edits);
    keepGone(recipe, m_takenRecipe, m_gone, *m_channelIndex);
    recipe.acceptGone = m_takenRecipe.acceptGone;
    recipe.onePerGuideId = m_takenRecipe.onePerGuideId;
    recipe.moreSources = m_moreSources;
    switch (m_source.kind) {
    case PlaylistSource::Kind::File:
        recipe.source.kind = RecipeSource::Kind::File;
        recipe.source.file = QFileInfo(m_source.fileName).absoluteFilePath();
        break;
    case PlaylistSource::Kind::Address:
        recipe.source.kind = RecipeSource::Kind::Url;
        recipe.source.url = m_source.url.toString();
        break;
    case PlaylistSource::Kind::Provider:
        recipe.source.kind = RecipeSource::Kind::Provider;
        recipe.source.server = serverText(m_source.provider.server);
        recipe.source.user = m_source.provider.user;
        recipe.source.password = m_source.provider.password;
        recipe.source.live = m_source.provider.live;
        recipe.source.movies = m_source.provider.movies;
        break;
    default:
        throw EWriteError(QStringLiteral("This playlist was not read from a file or an address: "
                                         "there is nothing to read again."));
    }
    const TargetFormat& format = formatFor(selectedTarget());
    recipe.target = format.cliName().toString();
    recipe.receiver = m_receiver;
    recipe.ansi = format.allowsAnsi() && !sCheckBox1->isChecked();
    if (recipe.ansi)
        recipe.codePage = chosenCodePage().CodePage();
    const QString& saved = savesBouquetFolder() ? m_savedFolder : m_savedFile;
    if (!saved.isEmpty())
        recipe.output = QFileInfo(saved).absoluteFilePath();
    recipe.guide = m_takenRecipe.guide;
    recipe.guide.guides = m_guides;
    return recipe;
}

void TForm8::SaveRecipe1Click() {
    if (LoadedList->Count() == 0)
        return;
    Recipe recipe = currentRecipe();
    // A recipe writes its list where the window last saved it; not saved
    // yet, the user says where, unless it sends the list to a receiver.
    if (recipe.output.isEmpty() && recipe.receiver.address.isEmpty() && savesBouquetFolder()) {
        FolderDialog1->setFileName(QString());
        if (!FolderDialog1->execute(this))
            return;
        recipe.output = QFileInfo(FolderDialog1->fileName()).absoluteFilePath();
    } else if (recipe.output.isEmpty() && recipe.receiver.address.isEmpty()) {
        const TargetFormat& format = formatFor(selectedTarget());
        SaveDialog1->setFileName(finalSaveFileName(format.defaultFileName(), format.extension()));
        SaveDialog1->setFilter(saveDialogFilter(format.extension()));
        if (!SaveDialog1->execute(this))
            return;
        recipe.output = QFileInfo(finalSaveFileName(SaveDialog1->fileName(), format.extension()))
                            .absoluteFilePath();
    }
    // Named after the playlist: its file's name without its extension, or
    // the whole of a host's name ("127.0.0.1").
    if (RecipeSaveDialog1->fileName().isEmpty())
        RecipeSaveDialog1->setFileName((m_source.kind == PlaylistSource::Kind::File
                                            ? QFileInfo(m_source.fileName).completeBaseName()
                                            : m_sourceName.text().toString()) +
                                       QStringLiteral(".dorvane"));
    if (!RecipeSaveDialog1->execute(this))
        return;
    // Only a provider's login holds a password; the user decides whether
    // it is kept in the file.
    bool storePassword = false;
    if (recipe.source.kind == RecipeSource::Kind::Provider && !recipe.source.password.isEmpty())
        storePassword = MessageBox::show(this, QMessageBox::Question, applicationTitle(),
                                         QStringLiteral("Сохранить пароль в рецепте?"),
                                         QMessageBox::Yes | QMessageBox::No,
                                         QMessageBox::No) == QMessageBox::Yes;
    // The receiver's password was kept by its own choice (Send to Receiver).
    if (!recipe.receiver.password.isEmpty() && recipe.source.password.isEmpty())
        storePassword = true;
    // Always a .dorvane file, which Open Recipe lists.
    writeRecipe(finalSaveFileName(RecipeSaveDialog1->fileName(), u".dorvane"), recipe,
                storePassword);
    (savesBouquetFolder() ? m_savedFolder : m_savedFile) = recipe.output;
}

void TForm8::Refresh1Click() {
    if (LoadedList->Count() == 0 || m_download || m_providerRead)
        return;
    const Recipe recipe = currentRecipe();
    auto before = std::make_unique<TStringList>(*SourceList);
    if (m_source.kind == PlaylistSource::Kind::Provider) {
        openProvider(m_source.provider, m_source.url);
        m_pendingRecipe = std::make_unique<Recipe>(recipe);
        m_refreshedFrom = std::move(before);
        return;
    }
    if (m_source.kind == PlaylistSource::Kind::Address) {
        // The download ends in endOfDownload, which applies the recipe; one
        // that fails leaves the playlist as it is.
        openAddress(m_source.url);
        m_pendingRecipe = std::make_unique<Recipe>(recipe);
        m_refreshedFrom = std::move(before);
        return;
    }
    // Read aside first: a file gone, or left without channels, keeps the
    // playlist loaded.
    TakenPlaylist taken = takeFile(m_source.fileName);
    if (channelCount(taken.lines) == 0)
        throw EFOpenError(QStringLiteral("Cannot refresh \"%1\". It holds no channels now.")
                              .arg(QDir::toNativeSeparators(m_source.fileName)));
    const SourceName name = playlistName(taken, SourceName::ofFile(m_source.fileName));
    const TTargetKind target = selectedTarget();
    takeRead(std::move(taken), name, {PlaylistSource::Kind::File, m_source.fileName, {}, {}, {}});
    m_pendingRecipe = std::make_unique<Recipe>(recipe);
    endOfRecipeDownload(before.get());
    if (m_loadedChannels > 0 && target != selectedTarget())
        m_targetButtons[static_cast<size_t>(target)]->click();
}

void TForm8::N5Click() {
    rememberForUndo();
    m_source = {};
    m_reading = {};
    m_readingHint.clear();
    resetChoice();
    LoadedList->Clear();
    N8->setEnabled(false);
    SourceList->Clear();
    sMemo1->setText(QString());
    setPlaylistControlsEnabled(false);
    sRadioButton1->setChecked(true);
    sLabel2->clear();
    sImage2->hide();
    showReading();
}

void TForm8::showEncodingChoice(const TargetFormat& format) {
    // A target written only in UTF-8 leaves nothing to choose: the box shows
    // what is written, and the user's choice waits for the other targets.
    const QSignalBlocker quiet(sCheckBox1);
    sCheckBox1->setEnabled(format.allowsAnsi());
    sCheckBox1->setChecked(format.allowsAnsi() ? m_utf8Wanted : true);
    // The menu shows whether a UTF-8 file gets a byte-order mark.
    ByteOrderMark1->setChecked(m_byteOrderMarkWanted.value_or(format.utf8ByteOrderMarkByDefault()));
    // A bouquet per group is the Enigma2 target's; ticked, it waits while
    // another target is chosen.
    PerGroupCheck1->setEnabled(format.kind() == TTargetKind::tkEnigma2);
}

const TEncoding& TForm8::chosenCodePage() const {
    const QAction* chosen = m_codePages->checkedAction();
    const TEncoding* encoding = chosen ? TEncoding::ansi(chosen->data().toInt()) : nullptr;
    return encoding ? *encoding : TEncoding::Default();
}

void TForm8::setPlaylistControlsEnabled(bool enabled) {
    for (int k = 1; k < kTargetCount; ++k)
        m_targetButtons[k]->setEnabled(enabled);
    sButton1->setEnabled(enabled);
    sButton3->setEnabled(enabled);
}

// ---------------------------------------------------------------------------
// Menus

void TForm8::N1Click() {
    N3->setEnabled(sButton1->isEnabled());
    N8->setEnabled(LoadedList->Count() > 0);
    const bool readAgain =
        LoadedList->Count() > 0 && (m_source.kind == PlaylistSource::Kind::File ||
                                    m_source.kind == PlaylistSource::Kind::Address ||
                                    m_source.kind == PlaylistSource::Kind::Provider);
    SaveRecipe1->setEnabled(readAgain);
    Refresh1->setEnabled(readAgain && !m_download && !m_providerRead);
    AddSource1->setEnabled(readAgain && !m_download && !m_providerRead);
    SendToReceiver1->setEnabled(LoadedList->Count() > 0 && !m_download && !m_providerRead);
}

void TForm8::PopupMenu1Popup() {
    N4->setEnabled(sRadioButton1->isChecked());
    N8->setEnabled(LoadedList->Count() > 0);
}

void TForm8::N3Click() {
    sButton1Click();
}

void TForm8::D1Click() {
    close();
}

void TForm8::N6Click() {
    copyTextArea();
}

void TForm8::sButton1Click() {
    saveTextArea();
}

void TForm8::sButton3Click() {
    copyTextArea();
}

bool TForm8::savesBouquetFolder() const {
    return PerGroupCheck1->isChecked() && selectedTarget() == TTargetKind::tkEnigma2;
}

void TForm8::saveBouquetFolder() {
    FolderDialog1->setFileName(m_savedFolder);
    if (!FolderDialog1->execute(this))
        return;
    const QString folder = FolderDialog1->fileName();
    const QString prefix =
        m_receiver.prefix.isEmpty() ? QString::fromUtf16(kDefaultBouquetPrefix) : m_receiver.prefix;
    if (!isBouquetPrefix(prefix))
        throw EWriteError(QStringLiteral("The prefix is [a-z0-9_]+, not \"%1\".").arg(prefix));
    const std::vector<Bouquet> bouquets = chosenBouquets(prefix, true);
    int channels = 0;
    for (const Bouquet& bouquet : bouquets)
        channels += bouquet.channels;
    if (channels == 0)
        throw EWriteError(QStringLiteral("No channels chosen to save."));
    const FolderSaveReport report = saveBouquetsToFolder(bouquets, folder, prefix);
    m_savedFolder = folder;
    EncodingLabel1->hide();
    RefreshLabel1->setText(
        QStringLiteral("сохранено букетов: %1, каналов: %2").arg(report.files).arg(channels));
    RefreshLabel1->show();
    if (!report.warnings.isEmpty())
        MessageBox::show(this, QMessageBox::Warning, applicationTitle(),
                         report.warnings.join(u'\n'), QMessageBox::Ok, QMessageBox::Ok);
}

void TForm8::saveTextArea() {
    if (savesBouquetFolder()) {
        saveBouquetFolder();
        return;
    }
    // The save flow is output's; the window lends it its dialogs, and the
    // text area and check box as they are once the dialogs have closed.
    struct Dialogs final : SaveDialogs {
        TForm8& form;
        explicit Dialogs(TForm8& window) : form(window) {}

        bool chooseFileName(const QString& proposed, const QString& filter,
                            QString& chosen) override {
            form.SaveDialog1->setFileName(proposed);
            form.SaveDialog1->setFilter(filter);
            if (!form.SaveDialog1->execute(&form))
                return false;
            chosen = form.SaveDialog1->fileName();
            return true;
        }
        // The name written, the extension added: what a recipe then names.
        void saved(const QString& fileName) override {
            form.m_savedFile = fileName;
            written = fileName;
        }
        QString written;
        bool confirm(const QString& question) override {
            return MessageBox::show(&form, QMessageBox::Question, applicationTitle(), question,
                                    QMessageBox::Yes | QMessageBox::No,
                                    QMessageBox::No) == QMessageBox::Yes;
        }
        QString text() override { return form.sMemo1->text(); }
        bool utf8Ticked() override { return form.sCheckBox1->isChecked(); }
        const TEncoding& codePage() override { return form.chosenCodePage(); }
        std::optional<bool> byteOrderMark() override { return form.m_byteOrderMarkWanted; }
    } dialogs(*this);
    saveWithDialogs(formatFor(selectedTarget()), dialogs);
    if (!dialogs.written.isEmpty())
        cutGuideBeside(dialogs.written);
}

void TForm8::Guide1Click() {
    QStringList shown;
    for (const QString& guide : m_guides)
        shown << (looksLikeAddress(guide) ? maskedAddress(guide) : QDir::toNativeSeparators(guide));
    QString guide;
    if (!GuideDialog::ask(this, shown, m_guideUnmatched, guide))
        return;
    guide = guide.trimmed();
    if (!looksLikeAddress(guide)) {
        if (!QFileInfo(guide).isFile())
            throw EFOpenError(QStringLiteral("Cannot open guide \"%1\". The file does not exist.")
                                  .arg(QDir::toNativeSeparators(guide)));
        guide = QFileInfo(guide).absoluteFilePath();
    } else {
        parseWebAddress(guide); // says what is wrong with it
    }
    if (!m_guides.contains(guide))
        m_guides << guide;
}

void TForm8::cutGuideBeside(const QString& listFile) {
    if (m_guides.isEmpty() || !SourceList || SourceList->Count() == 0)
        return;
    waitForGuideCut();
    const QFileInfo list(listFile);
    GuideRequest request;
    request.output = list.dir().filePath(list.completeBaseName() + QStringLiteral(".xml"));
    request.quiet = true;
    if (m_source.kind == PlaylistSource::Kind::File)
        request.playlistFolder = QFileInfo(m_source.fileName).absolutePath();
    else if (m_source.kind == PlaylistSource::Kind::Address)
        request.playlistAddress = m_source.url.toString();
    request.fetch = [timeout = request.timeout](const QUrl& url, BodySink& sink) {
        DownloadLimits limits;
        limits.stallTimeout = timeout;
        limits.maxBytes = kMaxGuideBytes;
        downloadInto(url, limits, sink);
    };
    GuideSettings settings = m_takenRecipe.guide;
    settings.guides = m_guides;
    auto lines = std::make_shared<TStringList>(*SourceList);
    ++m_guideCuts;
    m_guideThread = std::thread([this, request, settings, lines] {
        QStringList said;
        QString failure;
        GuideOutcome outcome;
        try {
            outcome = cutGuides(request, settings, *lines,
                                [&said](const QString& text) { said << text; });
        } catch (const Exception& error) {
            failure = error.Message();
        } catch (const std::exception& error) {
            failure = QString::fromLocal8Bit(error.what());
        }
        // Back on the window's thread; a window gone by then drops it.
        QMetaObject::invokeMethod(
            this,
            [this, outcome, failure, said] {
                --m_guideCuts;
                if (!failure.isEmpty()) {
                    showErrorBox(failure);
                    return;
                }
                m_guideUnmatched = outcome.unmatched;
                const int total = outcome.matched + int(outcome.unmatched.size());
                QString text = outcome.unmatched.isEmpty()
                                   ? QStringLiteral("Телепрограмма: у всех %1 каналов").arg(total)
                                   : QStringLiteral("Телепрограмма: без неё %1 из %2 каналов")
                                         .arg(outcome.unmatched.size())
                                         .arg(total);
                if (!outcome.whole)
                    text += QStringLiteral(" (телепрограмма прочитана не полностью)");
                RefreshLabel1->setText(text);
                RefreshLabel1->show();
                // A guide that could not be read, or was cut short.
                if (!outcome.whole && !said.isEmpty())
                    showErrorBox(said.join(u'\n'));
            },
            Qt::QueuedConnection);
    });
}

void TForm8::waitForGuideCut() noexcept {
    if (m_guideThread.joinable())
        m_guideThread.join();
}

void TForm8::copyTextArea() {
    copyText(sMemo1->text());
}

// ---------------------------------------------------------------------------
// Conversion runs

void TForm8::sRadioButton1Click() {
    showSourceText();
}
void TForm8::sRadioButton8Click() {
    showSourceText();
}
void TForm8::sRadioButton2Click() {
    SelectRBTN();
}
void TForm8::sRadioButton3Click() {
    SelectRBTN();
}
void TForm8::sRadioButton4Click() {
    SelectRBTN();
}
void TForm8::sRadioButton5Click() {
    SelectRBTN();
}
void TForm8::sRadioButton6Click() {
    SelectRBTN();
}
void TForm8::sRadioButton7Click() {
    SelectRBTN();
}
void TForm8::sRadioButton9Click() {
    SelectRBTN();
}
void TForm8::sRadioButton10Click() {
    SelectRBTN();
}
void TForm8::sRadioButton11Click() {
    SelectRBTN();
}
void TForm8::sRadioButton12Click() {
    SelectRBTN();
}
void TForm8::sRadioButton13Click() {
    SelectRBTN();
}

void TForm8::showSourceText() {
    stopRun();
    showLost({}, formatFor(selectedTarget()));
    ResultList->Clear();
    sMemo1->setLines(*SourceList);
}

void TForm8::SelectRBTN() {
    stopRun();
    showLost({}, formatFor(selectedTarget()));
    sMemo1->setText(progressText());
    ResultList->Clear();
    TargetOptions options;
    options.enigma2Type = Enigma2Type1->currentData().toInt();
    ConvertThread = std::make_unique<TThreadKonvert>(
        formatFor(selectedTarget()), *SourceList, *ResultList,
        [this](TThreadKonvert& worker) { endOfRun(worker); }, m_sourceName, options);
}

void TForm8::showLost(const LostAttributes& lost, const TargetFormat& target) {
    QStringList parts;
    const auto part = [&](int count, QStringView what) {
        if (count > 0)
            parts << QStringLiteral("%1 %2 %3: %4 не может их хранить")
                         .arg(channelCountText(count),
                              PluralForm(count, u"потерял", u"потеряли", u"потеряли"), what,
                              target.shortName());
    };
    part(lost.headers, u"заголовки");
    part(lost.logos, u"логотипы");
    const bool shown = !LostLabel1->isHidden();
    LostLabel1->setText(parts.join(u"; "));
    LostLabel1->setVisible(!parts.isEmpty() && !DownloadLabel1->isVisible());
    if (!LostLabel1->isHidden()) {
        EncodingLabel1->hide();
        RefreshLabel1->hide();
    } else if (shown) { // the encoding's place again
        EncodingLabel1->setVisible(!DownloadLabel1->isVisible());
    }
}

void TForm8::endOfRun(TThreadKonvert& worker) {
    // A run that is being stopped is no longer the window's: whoever stops it
    // puts its own text in the text area right after.
    if (ConvertThread.get() != &worker)
        return;
    // The text as Save writes it, line ends included: Copy gives the same.
    sMemo1->setLines(*ResultList, formatFor(selectedTarget()).lineEndText());
    showLost(worker.lost(), formatFor(selectedTarget()));
    // What the target could not carry is said until the next action, as a
    // refresh's count is.
    if (worker.refused() > 0) {
        EncodingLabel1->hide();
        RefreshLabel1->setText(QStringLiteral("Не записано каналов: %1 — в имени или адресе "
                                              "то, чем %2 разделяет поля")
                                   .arg(worker.refused())
                                   .arg(formatFor(selectedTarget()).caption()));
        RefreshLabel1->show();
    }
    // The worker is still inside this step; it is released once its thread
    // has ended, never from its own hand-off.
    m_endedRuns.push_back(std::move(ConvertThread));
    QMetaObject::invokeMethod(
        this, [this] { releaseEndedRuns(); }, Qt::QueuedConnection);
}

bool TForm8::stopRun() noexcept {
    bool stopped = false;
    try {
        if (ConvertThread) {
            ConvertThread->Terminate();
            std::unique_ptr<TThreadKonvert> worker = std::move(ConvertThread);
            stopped = true;
            worker.reset(); // waits for the end, serving the run's hand-offs
        }
    } catch (...) {
        // A run that cannot be stopped cleanly must not keep the next one
        // from starting.
    }
    releaseEndedRuns();
    return stopped;
}

void TForm8::releaseEndedRuns() noexcept {
    try {
        std::vector<std::unique_ptr<TThreadKonvert>> ended = std::move(m_endedRuns);
        m_endedRuns.clear();
    } catch (...) {
    }
}

// ---------------------------------------------------------------------------
// Web links

void TForm8::sLabel1Click() {
    WebLinks::open(WebLinks::kHomePage);
}
void TForm8::J1Click() {
    WebLinks::open(WebLinks::kProgramPage);
}
void TForm8::N7Click() {
    WebLinks::open(WebLinks::kDiscussionPage);
}
void TForm8::V1Click() {
    WebLinks::open(WebLinks::kAnnouncementsPage);
}

} // namespace dorvane
