#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <functional>

#include "support/TestSupport.h"

class QDialog;

// What every test of a window sets up: a fresh home folder (and so a fresh settings file and
// data folder tree), the errors the program would show in a message box collected in errors_,
// and, afterwards, the service addresses that a test points at its own servers put back.
class WindowTest : public ::testing::Test {
  protected:
    WindowTest();
    ~WindowTest() override;

    // Runs a window's modal run, `execute`, while `whileOpen` acts on `window` once it is shown
    // and active. `whileOpen` is expected to close the window: one left open fails the test and
    // is closed, so that the test cannot hang. Returns what `execute` returned.
    static int RunModal(QDialog *window, const std::function<int()> &execute,
                        const std::function<void()> &whileOpen);

    ScopedHome home_;
    QStringList errors_;
};
