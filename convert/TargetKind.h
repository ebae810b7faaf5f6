#pragma once

namespace dorvane {

// The targets, one per radio button of the window, in button order. Each
// member has one format in the registry (Formats.cpp), which checks this.
enum class TTargetKind {
    tkM3U,
    tkWebTV,
    tkOpenBox,
    tkOpenBoxSX,
    tkWizardHD,
    tkAzBox,
    tkPLS,
    tkM3U8,
    tkWMP,
    tkIPTVx,
    tkU2CRadio,
    tkEnigma2,
    tkXSPF,
    // Not a target: one past the last, so that the count follows the list.
    tkEnd
};

inline constexpr int kTargetCount = static_cast<int>(TTargetKind::tkEnd);

} // namespace dorvane
