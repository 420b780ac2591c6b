#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "app/AboutUsUnit.h"
#include "app/SplashUnit.h"
#include "common/BoxParts.h"

namespace {

const char *const kTextNames[] = {"RzLabel7", "RzLabel8", "RzLabel9", "RzLabel10", "RzLabel11"};

// Presses `button` on `widget` the way the platform delivers it.
void Press(QWidget *widget, Qt::MouseButton button) {
    const QPointF local(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, local, widget->mapToGlobal(local), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

class BoxesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetWindowMoveStarter([this](QWidget *window) { moved.append(window); });
    }
    void TearDown() override { SetWindowMoveStarter({}); }

    QList<QWidget *> moved;
};

TEST_F(BoxesTest, BothBoxesShowTheSameTexts) {
    TAboutUsForm about;
    TSplashForm splash;
    EXPECT_EQ(about.size(), QSize(433, 282));
    EXPECT_EQ(splash.size(), QSize(427, 251));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Us"));
    EXPECT_EQ(splash.windowTitle(), QStringLiteral("Splash Form"));
    EXPECT_TRUE(about.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(about.Image1->pixmap().size(), QSize(420, 250));
    EXPECT_EQ(splash.LogoImage->pixmap().size(), QSize(420, 250));
    EXPECT_EQ(about.RzLabel7->text(), QStringLiteral("for education"));
    for (const char *name : kTextNames) {
        SCOPED_TRACE(name);
        auto *inAbout = about.findChild<QLabel *>(QLatin1String(name));
        auto *inSplash = splash.findChild<QLabel *>(QLatin1String(name));
        ASSERT_NE(inAbout, nullptr);
        ASSERT_NE(inSplash, nullptr);
        EXPECT_FALSE(inAbout->text().isEmpty());
        EXPECT_EQ(inAbout->text(), inSplash->text());
        EXPECT_EQ(inAbout->font().pixelSize(), inSplash->font().pixelSize());
        // Every text lies on the picture.
        EXPECT_TRUE(about.Image1->geometry().contains(inAbout->geometry()));
        EXPECT_TRUE(splash.LogoImage->geometry().contains(inSplash->geometry()));
    }
    EXPECT_EQ(about.RzLabel9->text().contains(QStringLiteral("(Haldrin)")), true);
    EXPECT_EQ(about.RzLabel7->font().pixelSize(), 13);
    EXPECT_EQ(about.RzLabel10->font().pixelSize(), 11);
    EXPECT_EQ(about.RzLabel6->text(), QStringLiteral("Close"));
    EXPECT_EQ(about.RzBmpButton1->size(), QSize(20, 20));
}

TEST_F(BoxesTest, AboutBoxDragsByPictureAndBarButNotByItsLabels) {
    TAboutUsForm about;
    for (QWidget *handle :
         QList<QWidget *>{&about, about.AddressPanel, about.Image1, about.RzPanel1}) {
        SCOPED_TRACE(handle->objectName().toStdString());
        moved.clear();
        Press(handle, Qt::LeftButton);
        EXPECT_EQ(moved, QList<QWidget *>{&about});
    }
    QList<QWidget *> labels = {about.RzLabel6};
    for (const char *name : kTextNames) {
        labels << about.findChild<QLabel *>(QLatin1String(name));
    }
    for (QWidget *label : labels) {
        SCOPED_TRACE(label->objectName().toStdString());
        moved.clear();
        Press(label, Qt::LeftButton);
        EXPECT_TRUE(moved.isEmpty());
    }
    // Other buttons only flash the move cursor.
    moved.clear();
    Press(about.Image1, Qt::RightButton);
    EXPECT_TRUE(moved.isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(BoxesTest, SplashDragsByPictureOnly) {
    TSplashForm splash;
    for (QWidget *handle : QList<QWidget *>{&splash, splash.LogoImage}) {
        moved.clear();
        Press(handle, Qt::LeftButton);
        EXPECT_EQ(moved, QList<QWidget *>{&splash});
    }
    moved.clear();
    Press(splash.RzLabel8, Qt::LeftButton);
    Press(splash.LogoImage, Qt::RightButton);
    EXPECT_TRUE(moved.isEmpty());
}

TEST_F(BoxesTest, CloseButtonOrEscapeCloseWithCancelAndTheBoxOpensAgain) {
    TAboutUsForm about;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString firstText = about.RzLabel10->text();
    for (int opening = 0; opening < 2; ++opening) {
        bool shownWithArrow = false;
        QTimer::singleShot(0, &about, [&] {
            shownWithArrow = about.isVisible() && QApplication::overrideCursor() == nullptr;
            if (opening == 0) {
                about.RzBmpButton1->click();
            } else {
                about.reject();  // Escape
            }
        });
        EXPECT_FALSE(about.Execute());
        EXPECT_EQ(about.result(), mrCancel);
        EXPECT_TRUE(shownWithArrow);
        EXPECT_FALSE(about.isVisible());
        EXPECT_EQ(about.RzLabel10->text(), firstText);
    }
}

TEST_F(BoxesTest, SplashIsOnScreenWhenShowReturns) {
    TSplashForm splash;
    splash.show();
    ASSERT_NE(splash.windowHandle(), nullptr);
    EXPECT_TRUE(splash.windowHandle()->isExposed());
    // Centred on its screen.
    const QPoint centre = splash.screen()->availableGeometry().center();
    EXPECT_LE((splash.frameGeometry().center() - centre).manhattanLength(), 2);
    splash.hide();
}

TEST_F(BoxesTest, Screenshots) {
    const QString folder = qEnvironmentVariable("TARVEX_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        GTEST_SKIP() << "TARVEX_SCREENSHOT_DIR not set";
    }
    TSplashForm splash;
    splash.show();
    EXPECT_TRUE(splash.grab().save(folder + QStringLiteral("/splash.png")));
    splash.hide();
    TAboutUsForm about;
    about.show();
    EXPECT_TRUE(about.grab().save(folder + QStringLiteral("/about.png")));
    about.hide();
}

}  // namespace
