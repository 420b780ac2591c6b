#include <gtest/gtest.h>

#include <QLabel>
#include <QToolButton>
#include <QWebEngineHistory>
#include <QWebEngineView>

#include "help/HelpPages.h"
#include "help/HelpUnit.h"
#include "settings/Services.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"

namespace {

const QString kStartPath = QStringLiteral("/Haldrin/Tarvex/Help/ENU/index.html");

QByteArray Page(const QByteArray &title, const QByteArray &body = {}) {
    return "<!DOCTYPE html><html><head><title>" + title + "</title></head><body><h1>" + title +
           "</h1>" + body + "</body></html>";
}

class HelpFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetServiceSettings({{QStringLiteral("Help URL"), server.BaseUrl()}});
        LocalHttpServer::Route html;
        html.contentType = "text/html; charset=utf-8";
        html.body = Page("Help start", "<a href=\"page2.html\">next</a>");
        server.SetRoute(kStartPath, html);
        html.body = Page("Page two");
        server.SetRoute(QStringLiteral("/Haldrin/Tarvex/Help/ENU/page2.html"), html);
        html.body = Page("Slow page", QByteArray(64 * 1024, 'x'));
        html.kind = LocalHttpServer::Kind::Stalled;
        server.SetRoute(QStringLiteral("/slow.html"), html);
    }
    void TearDown() override { SetServiceSettings({}); }

    QString Url(const QString &path) const { return server.BaseUrl() + path; }

    // Waits until the view shows the page titled `title`, completely loaded.
    bool Shows(const QString &title) {
        return WaitUntil(
            [&] { return form.WB != nullptr && !form.Busy() && form.WB->title() == title; }, 30000);
    }

    LocalHttpServer server;
    THelpForm form;
};

TEST(HelpPages, StartPageFollowsTheServiceSetting) {
    SetServiceSettings({{QStringLiteral("Help URL"), QStringLiteral("http://127.0.0.1:8080/")}});
    EXPECT_EQ(HelpStartPageUrl(),
              QUrl(QStringLiteral("http://127.0.0.1:8080/Haldrin/Tarvex/Help/ENU/index.html")));
    SetServiceSettings({});
    EXPECT_EQ(HelpStartPageUrl().scheme(), QStringLiteral("http"));
    EXPECT_EQ(HelpStartPageUrl().path(), kStartPath);
}

TEST_F(HelpFormTest, WindowParts) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("On-line help"));
    EXPECT_EQ(form.size(), QSize(659, 409));
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Refresh"));
    EXPECT_EQ(form.Label12->text(), QStringLiteral("Stop"));
    EXPECT_EQ(form.Label2->text(), QStringLiteral("TX Help for Ping module"));
    EXPECT_EQ(form.StopPingBtn->toolTip(), QStringLiteral("Stop process ..."));
    EXPECT_EQ(form.RzBmpButton2->size(), QSize(22, 22));
    EXPECT_EQ(form.StopPingBtn->size(), QSize(20, 20));
    // The browser is made only when the window is first shown.
    EXPECT_EQ(form.WB, nullptr);
    form.RzBmpButton2->click();
    form.RzBmpButton1->click();
    form.RzBmpButton3->click();
    form.StopPingBtn->click();
}

TEST_F(HelpFormTest, OpensAtTheStartPageAndMovesThroughHistory) {
    form.show();
    ASSERT_NE(form.WB, nullptr);
    ASSERT_TRUE(Shows(QStringLiteral("Help start")));
    EXPECT_EQ(form.WB->url(), QUrl(Url(kStartPath)));

    // Nothing before or after the start page: back and forward change nothing.
    form.RzBmpButton2->click();
    form.RzBmpButton1->click();
    EXPECT_TRUE(Shows(QStringLiteral("Help start")));
    EXPECT_EQ(form.WB->history()->count(), 1);
    EXPECT_EQ(form.WB->url(), QUrl(Url(kStartPath)));

    form.WB->setUrl(QUrl(Url(QStringLiteral("/Haldrin/Tarvex/Help/ENU/page2.html"))));
    ASSERT_TRUE(Shows(QStringLiteral("Page two")));
    form.RzBmpButton2->click();
    EXPECT_TRUE(Shows(QStringLiteral("Help start")));
    form.RzBmpButton1->click();
    EXPECT_TRUE(Shows(QStringLiteral("Page two")));
    form.RzBmpButton3->click();
    EXPECT_TRUE(Shows(QStringLiteral("Page two")));

    // Every showing starts again at the start page; the history stays.
    form.hide();
    form.show();
    EXPECT_TRUE(Shows(QStringLiteral("Help start")));
    form.RzBmpButton2->click();
    EXPECT_TRUE(Shows(QStringLiteral("Page two")));
    form.hide();
}

TEST_F(HelpFormTest, StopEndsAPageThatIsStillLoading) {
    form.show();
    ASSERT_TRUE(Shows(QStringLiteral("Help start")));
    form.WB->setUrl(QUrl(Url(QStringLiteral("/slow.html"))));
    ASSERT_TRUE(WaitUntil([&] { return form.Busy(); }));
    ASSERT_TRUE(
        WaitUntil([&] { return server.RequestedPaths().contains(QStringLiteral("/slow.html")); }));
    form.StopPingBtn->click();
    EXPECT_TRUE(WaitUntil([&] { return !form.Busy(); }, 30000));
    form.hide();
}

TEST_F(HelpFormTest, Screenshot) {
    const QString folder = qEnvironmentVariable("TARVEX_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        GTEST_SKIP() << "TARVEX_SCREENSHOT_DIR not set";
    }
    form.show();
    ASSERT_TRUE(Shows(QStringLiteral("Help start")));
    WaitUntil([] { return false; }, 500);  // let the compositor draw the page
    EXPECT_TRUE(form.grab().save(folder + QStringLiteral("/help.png")));
    form.hide();
}

}  // namespace
