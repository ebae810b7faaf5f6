#pragma once

#include "app/TextView.h"

namespace dorvane {

// The window's read-only text area. It gives back exactly the text put in,
// or the lines put in joined as their list joins them, so Save and Copy read
// back the very text shown (line breaks included); a big playlist shows at
// once because only the visible lines are laid out, and is held once, by its
// list.
class MemoView : public ReadOnlyTextView {
    Q_OBJECT

public:
    explicit MemoView(QWidget* parent = nullptr);
};

} // namespace dorvane
