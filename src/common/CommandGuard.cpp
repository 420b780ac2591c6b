#include "common/CommandGuard.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <exception>

#include "common/Errors.h"

namespace {
std::function<void(const QString &)> errorReporter;

void ReportError(QWidget *parent, const QString &text) {
    if (errorReporter) {
        errorReporter(text);
        return;
    }
    QMessageBox::critical(parent, QApplication::applicationName(), text);
}
}  // namespace

void RunCommand(QWidget *parent, const std::function<void()> &command) {
    try {
        command();
    } catch (const std::exception &error) {
        ReportError(parent, ErrorText(error));
    } catch (...) {
        ReportError(parent, QStringLiteral("Unknown error."));
    }
}

void ConnectCommand(QAction *action, QWidget *parent, const std::function<void()> &command) {
    QObject::connect(action, &QAction::triggered, parent,
                     [parent, command] { RunCommand(parent, command); });
}

void SetErrorReporter(const std::function<void(const QString &)> &reporter) {
    errorReporter = reporter;
}
