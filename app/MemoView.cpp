#include "app/MemoView.h"

#include "app/SkinManager.h"

namespace dorvane {

MemoView::MemoView(QWidget* parent) : ReadOnlyTextView(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A skin draws it as the standard text area, whatever class it is.
    setProperty(kSkinSectionProperty, QStringLiteral("EDIT"));
}

} // namespace dorvane
