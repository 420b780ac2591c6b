#include "support/WindowTest.h"

#include <QDialog>
#include <QTest>
#include <QTimer>

#include "common/CommandGuard.h"
#include "settings/Services.h"

WindowTest::WindowTest() {
    SetErrorReporter([this](const QString &text) { errors_ << text; });
}

WindowTest::~WindowTest() {
    SetErrorReporter({});
    SetServiceSettings({});
}

int WindowTest::RunModal(QDialog *window, const std::function<int()> &execute,
                         const std::function<void()> &whileOpen) {
    QTimer::singleShot(0, window, [window, whileOpen] {
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        whileOpen();
        if (window->isVisible()) {
            ADD_FAILURE() << window->objectName().toStdString() << " was left open";
            window->done(0);
        }
    });
    return execute();
}
