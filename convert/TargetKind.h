#pragma once

namespace dorvane {

// The eleven targets, one per radio button of the window, in button order.
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
};

inline constexpr int kTargetCount = 11;

} // namespace dorvane
