#pragma once

#include "app/TextView.h"

namespace dorvane {

// The window's read-only text area. It keeps the text whole, exactly as it
// was put in, so Save and Copy read back the very text shown (line breaks
// included); a big playlist shows at once because only the visible lines are
// laid out.
class MemoView : public ReadOnlyTextView {
    Q_OBJECT

public:
    explicit MemoView(QWidget* parent = nullptr);
};

} // namespace dorvane
