#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "ping/EchoService.h"

class QCommandLineParser;

// The program without a window: --ping, --trace, --whois and --locate run the engines the window
// uses and write their results to the standard output as text (the results pane's lines), JSON
// or CSV. Nothing here touches a display.

// Exit statuses, as fping gives them: every address answered; some did not; the command line or
// its input was wrong (an address that does not resolve included, as fping counts it); the
// system refused what the run needs (no ICMP socket may be opened).
constexpr int kExitAnswered = 0;
constexpr int kExitNotAnswered = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSystemError = 3;

// Where a run without a window writes, and what it runs with.
struct THeadlessIo {
    // The standard output: the results, in pieces as they are ready.
    std::function<void(const QByteArray &bytes)> Out;
    // The standard error: one line per error, without its line end.
    std::function<void(const QString &line)> Error;
    // The program's name in front of an error line.
    QString Program = QStringLiteral("tarvex");
    // Opens the echo service of a ping or trace; unset: ConnectEchoService().
    TEchoServiceFactory Connect;
    // Asked while a run goes (Ctrl+C): true ends it after the requests under way, and what was
    // made is written as after a stop in the window. Unset: runs end only by themselves.
    std::function<bool()> StopRequested;
};

// Adds the options of the runs without a window to `parser`, so that --help lists them beside
// the window's own.
void AddHeadlessOptions(QCommandLineParser &parser);

// True when the parsed command line asks for a run without a window (--ping, --trace, --whois or
// --locate), or uses one of their options (then RunHeadless says what is missing).
bool HeadlessRequested(const QCommandLineParser &parser);

// Runs what the parsed command line asks for and returns the exit status. The addresses are the
// parser's positional arguments (and, for --ping, the lines of --file). Settings come from the
// settings file (--settings, else the user's own; the standard set when there is none), the
// options override them. Errors go to io.Error, one line each.
int RunHeadless(const QCommandLineParser &parser, const THeadlessIo &io);
