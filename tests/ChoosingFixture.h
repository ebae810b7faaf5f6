#pragma once

// The window with its "Channels..." dialog driven from the test.
#include "WindowFixture.h"
#include "app/ChannelsDialog.h"

#include <QTreeView>

#include <functional>

namespace dorvane::testing {

class ChoosingWindowTest : public WindowTest {
protected:
    void TearDown() override {
        ChannelsDialog::setDriver({});
        WindowTest::TearDown();
    }

    // Opens "Channels..." with Ctrl+K from the text area and lets `work` act
    // in the dialog; false when no dialog opened.
    bool chooseChannels(const std::function<void(ChannelsDialog&)>& work) {
        bool opened = false;
        ChannelsDialog::setDriver([&](ChannelsDialog& dialog) {
            opened = true;
            work(dialog);
        });
        memo()->setFocus();
        QTest::keyClick(memo(), Qt::Key_K, Qt::ControlModifier);
        return opened;
    }

    static QTreeView* tree(ChannelsDialog& dialog) {
        return dialog.findChild<QTreeView*>(QStringLiteral("tree"));
    }
};

} // namespace dorvane::testing
