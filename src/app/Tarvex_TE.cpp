// Program start: command line, temporary splash, application object, dark style, the single
// instances in their fixed order, then the message loop.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>
#include <QWindow>

#include "app/MainMenuUnit.h"
#include "app/SingleInstances.h"
#include "app/SplashUnit.h"
#include "cli/HeadlessRun.h"
#include "common/StartupTrace.h"
#include "common/WindowLook.h"
#include "common/WindowPlacement.h"
#include "files/FileManager.h"

namespace {

// Exit statuses: 0 when the window is closed or a question of the command line was answered,
// 1 when no display can be opened, 2 for a command line the program does not understand. Runs
// without a window have their own (cli/HeadlessRun.h), 2 for a bad command line among them.
constexpr int kExitNoDisplay = 1;
constexpr int kExitUsage = 2;

void WriteTo(FILE *stream, const QString &text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// The options every Qt program takes (the application object consumes them later); accepted
// here so that the program's own parser does not call them unknown.
void AddToolkitOptions(QCommandLineParser &parser) {
    const char *const withValue[] = {
        "platform", "platformpluginpath", "platformtheme", "plugin",     "display",
        "style",    "stylesheet",         "session",       "name",       "title",
        "geometry", "qwindowgeometry",    "qwindowtitle",  "qwindowicon"};
    const char *const flags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    for (const char *name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : flags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// Ctrl+C during a run without a window: the run ends after the requests under way, and what was
// made is written. A second Ctrl+C ends the program at once (the handler is reset by the first).
volatile std::sig_atomic_t interrupted = 0;

void Interrupt(int) {
    interrupted = 1;
}

int RunWithoutWindow(int argc, char *argv[], const QCommandLineParser &parser,
                     const QString &program) {
    // No display is touched: an application object without a platform, for the parts of Qt
    // that want one.
    int coreArgc = argc;
    QCoreApplication core(coreArgc, argv);
    struct sigaction action {};
    action.sa_handler = Interrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    THeadlessIo io;
    io.Program = program;
    io.Out = [](const QByteArray &bytes) {
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        std::fflush(stdout);
    };
    io.Error = [](const QString &line) { WriteTo(stderr, line + QLatin1Char('\n')); };
    io.StopRequested = [] { return interrupted != 0; };
    return RunHeadless(parser, io);
}

// The platform plugin asked for on the command line or in QT_QPA_PLATFORM, empty when none.
QString requestedPlatform;

// The address given on the command line, pinged once the main window is up.
std::optional<QString> startAddress;

// Answers --help and --version and rejects what the program does not understand, all before
// a display is needed. Returns the exit status when the program is to end here.
std::optional<int> AnswerCommandLine(int argc, char *argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        // What follows belongs to the embedded browser's engine.
        if (argument == QStringLiteral("--webEngineArgs")) {
            break;
        }
        arguments << argument;
    }
    const QString program =
        arguments.isEmpty() ? QStringLiteral("tarvex") : QFileInfo(arguments.first()).fileName();

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Network diagnosis: ping, WHOIS lookup and geolocation of addresses."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show these options and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the program's version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    AddHeadlessOptions(parser);
    AddToolkitOptions(parser);
    parser.addPositionalArgument(
        QStringLiteral("address"),
        QStringLiteral("Host name, URL or IP address to ping as soon as the window is up, as if "
                       "typed into the address field and confirmed with Enter. With --ping, "
                       "--trace, --whois or --locate: the addresses or names to run without a "
                       "window."),
        QStringLiteral("[address]"));

    const QString tryHelp = QStringLiteral("Try '%1 --help' for the options.\n").arg(program);
    if (!parser.parse(arguments)) {
        WriteTo(stderr,
                program + QStringLiteral(": ") + parser.errorText() + QLatin1Char('\n') + tryHelp);
        return kExitUsage;
    }
    if (parser.isSet(help)) {
        // Without an application object the parser cannot know the program's name.
        QString text = parser.helpText();
        text.replace(QStringLiteral("<executable_name>"), program);
        WriteTo(stdout, text);
        return EXIT_SUCCESS;
    }
    requestedPlatform = parser.isSet(QStringLiteral("platform"))
                            ? parser.value(QStringLiteral("platform"))
                            : qEnvironmentVariable("QT_QPA_PLATFORM");
    if (parser.isSet(version)) {
        WriteTo(stdout, QCoreApplication::applicationName() + QLatin1Char(' ') +
                            QCoreApplication::applicationVersion() + QLatin1Char('\n'));
        return EXIT_SUCCESS;
    }
    if (HeadlessRequested(parser)) {
        return RunWithoutWindow(argc, argv, parser, program);
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        WriteTo(stderr, program + QStringLiteral(": unexpected argument '") + positional.at(1) +
                            QStringLiteral("'.\n") + tryHelp);
        return kExitUsage;
    }
    if (!positional.isEmpty()) {
        startAddress = positional.first();
    }
    return std::nullopt;
}

// While the application object connects to the display, the platform layer's complaints are
// held back: when no display can be opened, the user gets one line saying so instead of the
// platform plugin's report, and the program ends with its own status.
QtMessageHandler previousHandler = nullptr;
struct HeldBackMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};
QList<HeldBackMessage> heldBack;

void PassOn(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
    } else {
        WriteTo(stderr, message + QLatin1Char('\n'));
    }
}

void DisplayFailureHandler(QtMsgType type, const QMessageLogContext &context,
                           const QString &message) {
    if (type == QtFatalMsg) {
        const QByteArray display = qgetenv("DISPLAY");
        const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
        QString line;
        if (display.isEmpty() && wayland.isEmpty() && requestedPlatform.isEmpty()) {
            line = QStringLiteral(
                "Tarvex needs a graphical display, and none is set (DISPLAY and "
                "WAYLAND_DISPLAY are empty).");
        } else {
            line = QStringLiteral(
                       "Tarvex cannot open the graphical display (DISPLAY=\"%1\", "
                       "WAYLAND_DISPLAY=\"%2\"")
                       .arg(QString::fromLocal8Bit(display), QString::fromLocal8Bit(wayland));
            if (!requestedPlatform.isEmpty()) {
                line += QStringLiteral(", platform \"%1\"").arg(requestedPlatform);
            }
            line += QStringLiteral(").");
        }
        WriteTo(stderr, line + QLatin1Char('\n'));
        _exit(kExitNoDisplay);
    }
    if (QByteArray(context.category != nullptr ? context.category : "").startsWith("qt.qpa")) {
        heldBack.append({type, QByteArray(context.category), message});
        return;
    }
    PassOn(type, context, message);
}

// Puts the command line's address into the address field and runs the ping command, as Enter in
// the field does. The window has loaded the settings when it was first shown, so the run uses
// them.
void PingStartAddress() {
    if (!startAddress || MainMenuForm == nullptr) {
        return;
    }
    MainMenuForm->AddressEdit->setText(*startAddress);
    startAddress.reset();
    MainMenuForm->SinglePingAction->trigger();
}

// Work the main window does not need in order to be drawn waits until it is on screen: the
// windows that stay hidden until a command opens them are created then, the address of the
// command line is pinged, and the file window reads the folder tree, so that it is ready when the
// user opens it. The window's first drawing is also the moment the start-up trace ends with.
//
// It watches the main window's platform window. When that is first exposed, the exposure is
// handed on at once, so the window paints as always, and the display is synchronised, so the
// picture is on screen before the hidden windows are built. No command can come before them:
// input reaches the window only as events that pass here first, and the first of those builds
// them before it goes on (a window that gets the focus or a key without having been exposed).
class AfterFirstPaint final : public QObject {
  public:
    // `instances`: the single instances made for the first showing; the hidden ones are added.
    AfterFirstPaint(QWindow *window, TSingleInstances *instances)
        : QObject(window), instances_(instances) {}

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        switch (event->type()) {
            case QEvent::Expose:
                if (!static_cast<QWindow *>(watched)->isExposed()) {
                    return false;
                }
                watched->removeEventFilter(this);
                QCoreApplication::sendEvent(watched, event);
                QGuiApplication::sync();
                StartupPhase("main window drawn");
                Finish();
                return true;
            case QEvent::FocusIn:
            case QEvent::KeyPress:
            case QEvent::ShortcutOverride:
            case QEvent::MouseButtonPress:
            case QEvent::Wheel:
                watched->removeEventFilter(this);
                Finish();
                return false;
            default:
                return false;
        }
    }

  private:
    void Finish() {
        CreateHiddenInstances(*instances_);
        StartupPhase("hidden windows created");
        // Queued, so that whatever event is under way is handled first.
        QTimer::singleShot(0, this, [this] {
            // The run goes on in the background while the folder tree is read.
            PingStartAddress();
            instances_->Files->FillFolderTree();
            StartupPhase("file window's folder tree filled");
            deleteLater();
        });
    }

    TSingleInstances *instances_;
};

}  // namespace

int main(int argc, char *argv[]) {
    StartupPhase("main");
    QApplication::setApplicationName(QStringLiteral("Tarvex"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
    QApplication::setOrganizationName(QStringLiteral("Haldrin"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.haldrin.Tarvex"));
    if (const std::optional<int> status = AnswerCommandLine(argc, argv)) {
        return *status;
    }
    StartupPhase("command line");

    // The embedded browser's sandbox cannot start for the root user.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    // The browser engine's OpenGL sharing (AA_ShareOpenGLContexts) is not set here: with it the
    // application object would make the shared context at once, loading the OpenGL driver, which
    // costs a good part of the start. The browser module sets both up before its first window
    // (common/BrowserWindows.cpp).
    previousHandler = qInstallMessageHandler(DisplayFailureHandler);
    QApplication app(argc, argv);
    qInstallMessageHandler(previousHandler);
    for (const HeldBackMessage &held : std::as_const(heldBack)) {
        QMessageLogContext context;
        context.category = held.category.constData();
        PassOn(held.type, context, held.text);
    }
    heldBack.clear();
    StartupPhase("application object");

    // Shown and painted before anything else is built, so the user sees the program start.
    auto *temporarySplash = new TSplashForm(nullptr);
    temporarySplash->show();
    temporarySplash->repaint();
    QApplication::processEvents();
    StartupPhase("splash shown");

    ApplyDarkStyle(app);
    StartupPhase("dark style");

    TSingleInstances instances = CreateInstancesForFirstShowing();

    temporarySplash->hide();
    delete temporarySplash;
    StartupPhase("splash removed");

    InstallKeyboardHandOver();
    // The platform window exists before the window is shown, so that its first exposure is seen
    // even when the first showing waits in a message box.
    MainMenuForm->winId();
    QWindow *window = MainMenuForm->windowHandle();
    window->installEventFilter(new AfterFirstPaint(window, &instances));
    MainMenuForm->show();
    StartupPhase("main window shown");
    const int result = QApplication::exec();
    DestroySingleInstances();
    return result;
}
