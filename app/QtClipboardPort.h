#pragma once

#include "playlist/Clipboard.h"

namespace dorvane {

// The clipboard port over the platform's clipboard (Qt's QClipboard).
class QtClipboardPort final : public ClipboardPort {
public:
    QString text() override;
    void setText(const QString& text) override;
};

} // namespace dorvane
