#pragma once

#include <QFont>
#include <QObject>
#include <QPalette>
#include <QString>
#include <QStringList>

class QWidget;

namespace dorvane {

// Name of the dynamic property through which a widget names the skin section
// it is drawn with. A skin's style sheet selects on it: [SkinSection="EDIT"].
inline constexpr char kSkinSectionProperty[] = "SkinSection";

// How skinned menus draw their icon column and their extra line.
struct TsMenuSupport {
    QString IcoLineSkin = QStringLiteral("ICOLINE");
    QFont ExtraLineFont = defaultExtraLineFont();
    QPalette::ColorRole ExtraLineFontColor = QPalette::WindowText;

    static QFont defaultExtraLineFont();
};

// Classes of foreign controls that a skin draws as if they were its own, one
// list per kind of control. A single blank names no class: the list is
// deliberately empty rather than left to a default.
struct TsThirdParty {
    QStringList ThirdEdits{QStringLiteral(" ")};
    QStringList ThirdButtons{QStringLiteral("TButton")};
    QStringList ThirdBitBtns{QStringLiteral(" ")};
    QStringList ThirdCheckBoxes{QStringLiteral(" ")};
    QStringList ThirdGroupBoxes{QStringLiteral(" ")};
    QStringList ThirdListViews{QStringLiteral(" ")};
    QStringList ThirdPanels{QStringLiteral(" ")};
    QStringList ThirdGrids{QStringLiteral(" ")};
    QStringList ThirdTreeViews{QStringLiteral(" ")};
    QStringList ThirdComboBoxes{QStringLiteral(" ")};
    QStringList ThirdWWEdits{QStringLiteral(" ")};
    QStringList ThirdVirtualTrees{QStringLiteral(" ")};
    QStringList ThirdGridEh{QStringLiteral(" ")};
    QStringList ThirdPageControl{QStringLiteral(" ")};
    QStringList ThirdTabControl{QStringLiteral(" ")};
    QStringList ThirdToolBar{QStringLiteral(" ")};
    QStringList ThirdStatusBar{QStringLiteral(" ")};
    QStringList ThirdSpeedButton{QStringLiteral(" ")};
    QStringList ThirdScrollControl{QStringLiteral(" ")};
    QStringList ThirdUpDown{QStringLiteral(" ")};
    QStringList ThirdScrollBar{QStringLiteral(" ")};
    QStringList ThirdStaticText{QStringLiteral(" ")};
    QStringList ThirdNativePaint{QStringLiteral(" ")};
};

// Loads the window's skin, if one is installed, and draws the window with it.
//
// A skin named N lives in the skin folder either as the packed file N.asz (a
// binary Qt resource file made by scripts/pack-skin) or as the folder N
// holding Options.dat; the packed file wins when both are there.
// Options.dat is a Qt style sheet in UTF-8. Its rules select skin sections
// through the SkinSection property; url(...) references are relative to the
// skin's own folder. docs/skins.md describes the format.
class TsSkinManager : public QObject {
    Q_OBJECT

public:
    enum class Result { Loaded, Missing, Broken };

    explicit TsSkinManager(QObject* parent = nullptr);
    ~TsSkinManager() override;

    // Where skins are looked for: "c:\Skins" on Windows, elsewhere the folder
    // Skins in the program's data folder (~/.local/share/dorvane/Skins).
    static QString defaultSkinDirectory();

    QString skinDirectory() const { return m_skinDirectory; }
    void setSkinDirectory(const QString& directory) { m_skinDirectory = directory; }
    QString skinName() const { return m_skinName; }
    void setSkinName(const QString& name) { m_skinName = name; }
    // Skins built into the program; there are none, so a missing skin has
    // nothing to fall back on.
    QStringList internalSkins() const { return m_internalSkins; }
    bool extendedBorders() const { return m_extendedBorders; }
    const TsMenuSupport& menuSupport() const { return m_menuSupport; }
    const TsThirdParty& thirdParty() const { return m_thirdParty; }

    // On until a load finds no skin or a broken one.
    bool active() const { return m_active; }

    // Looks for the skin and, when it is there and readable, puts its style
    // sheet on `window`. Call it once all of the window's controls exist and
    // carry their SkinSection, before the window is first shown, so that no
    // unskinned frame appears. Controls without a section get the standard
    // one of their kind ("BUTTON", "RADIOBUTTON", ...). Missing leaves the
    // window untouched and says nothing; Broken leaves it untouched as well
    // and errorMessage() tells why, for the window to show once.
    Result load(QWidget* window);

    QString errorMessage() const { return m_errorMessage; }
    // The packed file or the folder the skin was loaded from.
    QString loadedFrom() const { return m_loadedFrom; }

private:
    Result broken(const QString& source, const QString& reason);
    void releasePackedSkin();

    QString m_skinDirectory;
    QString m_skinName = QStringLiteral("UIX");
    QStringList m_internalSkins;
    bool m_extendedBorders = true;
    TsMenuSupport m_menuSupport;
    TsThirdParty m_thirdParty;

    bool m_active = true;
    QString m_errorMessage;
    QString m_loadedFrom;
    QString m_packedFile; // registered resource file, while its pictures are in use
    QString m_packedRoot;
};

} // namespace dorvane
