// The window with a provider's player interface: File > Open Provider, and
// the get.php address that falls back to it; against a fake provider of the
// test's own on 127.0.0.1.
#include "FakeProvider.h"
#include "WindowFixture.h"
#include "app/ProviderDialog.h"
#include "source/provider/ProviderRead.h"

#include <QProgressBar>

namespace dorvane::testing {
namespace {

using namespace Qt::StringLiterals;

class WindowProviderTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ProviderDialog::setHeadless(true);
        ProviderDialog::clearProposed();
        provider.answerLiveTv();
        provider.answer("get_vod_categories", R"([{"category_id":"5","category_name":"Drama"}])");
        provider.answer("get_vod_streams",
                        R"([{"name":"Film","stream_id":2,"category_id":"5",
                             "container_extension":"mkv"}])");
    }

    // File > Open Provider through its shortcut, the dialog answered.
    void openProvider(const ProviderAnswer& answer) {
        ProviderDialog::setNextAnswer(answer);
        memo()->setFocus();
        QTest::keyClick(memo(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    }
    ProviderAnswer answer(bool movies = false) const {
        return {provider.server.base() + u"/player_api.php"_s, u"joe"_s, u"s3cret"_s, true, movies};
    }
    bool waitForReadEnd() {
        return QTest::qWaitFor([&] { return form->providerRead() == nullptr; }, 20000);
    }
    QString statusText() const { return child<QLabel>(u"DownloadLabel1"_s)->text(); }

    FakeProvider provider;
};

TEST_F(WindowProviderTest, OpenProviderLoadsLiveTvAndFilmsNamedAfterTheHost) {
    openProvider(answer(true));
    ASSERT_NE(form->providerRead(), nullptr);
    EXPECT_TRUE(child(u"DownloadBar1"_s)->isVisible());
    ASSERT_TRUE(waitForReadEnd());
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    const QString base = provider.server.base();
    EXPECT_EQ(shown(),
              joined(u"#EXTM3U url-tvg=\"%1/xmltv.php?username=joe&password=s3cret\"\n"
                     "#EXTINF:-1 tvg-id=\"\" tvg-name=\"One\" tvg-logo=\"\" "
                     "group-title=\"News\",One\n%1/live/joe/s3cret/1.ts\n"
                     "#EXTINF:-1 tvg-name=\"Film\" tvg-logo=\"\" "
                     "group-title=\"Drama\",Film\n%1/movie/joe/s3cret/2.mkv\n"_s.arg(base)));
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"2 канала"_s);
    EXPECT_FALSE(child(u"DownloadBar1"_s)->isVisible());

    radio(TTargetKind::tkEnigma2)->setChecked(true);
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(shown().section(u'\n', 0, 0).trimmed(), u"#NAME 127.0.0.1"_s);

    // The next time the server and user are proposed, never the password.
    openProvider({});
    ASSERT_EQ(ProviderDialog::proposed().size(), 2);
    const ProviderAnswer proposed = ProviderDialog::proposed().last();
    EXPECT_EQ(proposed.server, base + u"/player_api.php"_s);
    EXPECT_EQ(proposed.user, u"joe"_s);
    EXPECT_TRUE(proposed.password.isEmpty());
}

// An account past its date that the provider still serves is read, and
// said until the next action.
TEST_F(WindowProviderTest, AnExpiredAccountStillServedIsReadAndSaid) {
    provider.answer({}, R"({"user_info":{"auth":1,"status":"Active","exp_date":"1706659200"}})");
    openProvider(answer());
    ASSERT_TRUE(waitForReadEnd());
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"1 канал"_s);
    auto* note = child<QLabel>(u"RefreshLabel1"_s);
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(), u"Срок учётной записи истёк 31.01.2024, но провайдер ещё отвечает"_s);
}

TEST_F(WindowProviderTest, FailuresKeepThePlaylistAndNeverShowThePassword) {
    FakeProvider refusing(u"joe"_s, u"s3cret"_s);
    refusing.answer({}, R"({"user_info":{"auth":0}})");
    FakeProvider broken(u"joe"_s, u"s3cret"_s);
    broken.answer({}, kActive);
    broken.answer("get_live_categories", HttpResponse{500, "Oops s3cret", {}, "s3cret"});
    pastePlaylist(playlist(3));
    const QString before = shown();

    const struct {
        ProviderAnswer answer;
        QString box;
    } cases[] = {
        {{refusing.server.base(), u"joe"_s, u"s3cret"_s, true, false},
         u"Cannot log in to \"%1\". Wrong user name or password"_s.arg(refusing.server.base())},
        {{broken.server.base(), u"joe"_s, u"s3cret"_s, true, false},
         u"Cannot open URL \"%1/player_api.php?username=joe&password=***"
         "&action=get_live_categories\". 500 Internal Server Error"_s.arg(broken.server.base())},
        {{broken.server.base(), u"joe"_s, u"s3cret"_s, false, false},
         u"Cannot open \"%1\". Neither Live TV nor Movies is chosen"_s.arg(broken.server.base())},
        {{u"ftp://tv.example"_s, u"joe"_s, u"s3cret"_s, true, false},
         u"Cannot open URL \"ftp://tv.example\""_s},
    };
    for (const auto& c : cases) {
        MessageBox::clearShown();
        openProvider(c.answer);
        ASSERT_TRUE(waitForReadEnd());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !MessageBox::shown().isEmpty(); }, 5000));
        const QString box = MessageBox::shown().constFirst().text;
        EXPECT_TRUE(box.startsWith(c.box)) << box.toStdString();
        EXPECT_FALSE(box.contains(u"s3cret"_s)) << box.toStdString();
        EXPECT_FALSE(statusText().contains(u"s3cret"_s));
        EXPECT_EQ(shown(), before);
        EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"3 канала"_s);
    }
}

TEST_F(WindowProviderTest, CancelOrEscStopsTheReading) {
    provider.answer(
        "get_live_streams",
        HttpResponse{200, "OK", {}, QByteArray(4000, ' '), HttpResponse::Send::StallAfter, 2000});
    pastePlaylist(playlist(3));
    const QString before = shown();
    const std::function<void()> ways[] = {
        [&] { click(child(u"DownloadCancel1"_s)); },
        [&] { QTest::keyClick(memo(), Qt::Key_Escape); },
    };
    for (const auto& cancel : ways) {
        openProvider(answer());
        ASSERT_TRUE(QTest::qWaitFor([&] { return statusText().contains(u"(50 %)"); }, 10000))
            << statusText().toStdString();
        cancel();
        EXPECT_EQ(form->providerRead(), nullptr);
        EXPECT_FALSE(child(u"DownloadBar1"_s)->isVisible());
        EXPECT_EQ(shown(), before);
    }
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(WindowProviderTest, ABlockedGetAddressIsReadThroughTheInterface) {
    provider.server.route("/get.php", HttpResponse{403, "Forbidden", {}, "blocked"});
    pastePlaylist(provider.server.base() + u"/get.php?username=joe&password=s3cret&type=m3u"_s);
    ASSERT_NE(form->providerRead(), nullptr);
    ASSERT_TRUE(waitForReadEnd());
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    EXPECT_TRUE(shown().contains(u"/live/joe/s3cret/1.ts"_s)) << shown().toStdString();
    EXPECT_EQ(statusText(),
              u"Адрес get.php не дал каналов: они прочитаны через интерфейс провайдера"_s);
    EXPECT_TRUE(child(u"DownloadLabel1"_s)->isVisible());

    // One that answers is taken as it is.
    provider.server.route("/get.php", HttpResponse{200, "OK", {}, playlist(4, u"Own"_s).toUtf8()});
    pastePlaylist(provider.server.base() + u"/get.php?username=joe&password=s3cret&type=m3u"_s);
    ASSERT_TRUE(waitForReadEnd());
    EXPECT_EQ(shown(), joined(playlist(4, u"Own"_s)));
    EXPECT_FALSE(child(u"DownloadLabel1"_s)->isVisible());
}

// A recipe of a provider's login keeps its password only when asked to; one
// without it asks for it when opened, with the server and user filled in.
TEST_F(WindowProviderTest, RecipesOfALoginKeepThePasswordOnlyWhenAskedTo) {
    openProvider(answer());
    ASSERT_TRUE(waitForReadEnd());
    const QString loaded = shown();
    const QString kept = writeFile(u"kept.dorvane"_s, {});
    const QString asked = writeFile(u"asked.dorvane"_s, {});
    // Where the list goes, asked by the first Save Recipe: it was not saved.
    FileDialog::setNextFileName(QFileInfo(kept).absolutePath() + u"/list.m3u"_s);
    for (const auto& [path, store] : {std::pair{kept, true}, std::pair{asked, false}}) {
        MessageBox::clearShown();
        MessageBox::setNextAnswer(store ? QMessageBox::Yes : QMessageBox::No);
        FileDialog::setNextFileName(path);
        memo()->setFocus();
        QTest::keyClick(memo(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        ASSERT_EQ(MessageBox::shown().size(), 1);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll().contains("s3cret"), store);
        EXPECT_EQ(file.permissions().testFlag(QFileDevice::ReadGroup), !store);
    }

    newWindow();
    MessageBox::clearShown();
    ProviderDialog::setNextAnswer(answer());
    FileDialog::setNextFileName(asked);
    item("OpenRecipe1")->trigger();
    ASSERT_EQ(ProviderDialog::proposed().size(), 2);
    EXPECT_EQ(ProviderDialog::proposed().last().user, u"joe"_s);
    EXPECT_TRUE(ProviderDialog::proposed().last().password.isEmpty());
    ASSERT_TRUE(waitForReadEnd());
    ASSERT_TRUE(MessageBox::shown().isEmpty()) << MessageBox::shown().first().text.toStdString();
    EXPECT_EQ(shown(), loaded);

    // Refresh reads the login again; nothing changed.
    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_F5);
    ASSERT_NE(form->providerRead(), nullptr);
    ASSERT_TRUE(waitForReadEnd());
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    EXPECT_EQ(child<QLabel>(u"RefreshLabel1"_s)->text(), u"новых: 0, пропало: 0"_s);
    EXPECT_EQ(shown(), loaded);
}

} // namespace
} // namespace dorvane::testing
