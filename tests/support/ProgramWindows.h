#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <Qt>

#include "ping/EchoService.h"
#include "support/TestSupport.h"
#include "support/WindowTest.h"

class QAction;
class QDialog;
class QTextEdit;
class TLocalFile;
class TMainMenuForm;
class TPingDataModule;
class TSettingsModel;

// Every window of the program, created in start-up order as the program creates them, with the
// main window shown and active, on a fresh home folder. The working folder is the one that holds
// the shipped pictures (the first showing copies the marker pictures from it), errors the program
// would show in a message box are collected, and the clipboard starts empty. Whatever a test
// switches for the program (service addresses) is switched back afterwards.
class ProgramWindowsTest : public WindowTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Runs before the windows are made; the fresh home folder is empty unless a test fills it.
    virtual void PrepareHome() {}

    // Writes `text` as the whole settings file, making its folder first.
    static void WriteSettingsFile(const QByteArray &text);

    // The settings the program runs with.
    static TSettingsModel *Settings();
    // The program's file window and data module.
    static TLocalFile *LocalFile();
    static TPingDataModule *PingDataModule();

    // The echo service of the main window's runs from now on (the real one until a test hands
    // another); it goes with the window.
    void UseEchoService(TEchoServiceFactory factory);

    // Types into whatever has the focus, as a user would.
    static void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    // Waits until the run under way (if any) has ended and its lines are written.
    static void FinishRun();

    // The lines of a pane.
    static QStringList Lines(QTextEdit *pane);

    // Triggers `command` and, once the window named `windowName` (any modal window for an empty
    // name) shows, runs `whileOpen` on it; a window still open afterwards is closed as Esc
    // closes it. Returns the window, or nullptr when none opened (then `whileOpen` never runs).
    static QDialog *WhileOpen(QAction *command, const QString &windowName,
                              const std::function<void(QDialog *)> &whileOpen);

    QString previousDirectory_;
    TMainMenuForm *form_ = nullptr;
};
