#pragma once

#include <QString>
#include <functional>

class QAction;
class QWidget;

// Runs one user command. Any exception it throws ends the command only: its own text is shown in
// a message box over `parent` and the program goes on.
void RunCommand(QWidget *parent, const std::function<void()> &command);

// Connects an action's trigger to a command run through RunCommand.
void ConnectCommand(QAction *action, QWidget *parent, const std::function<void()> &command);

// Replaces the message box by another reporter (tests record the texts); an empty function puts
// the message box back.
void SetErrorReporter(const std::function<void(const QString &)> &reporter);
