#include "common/BrowserWindows.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QOpenGLContext>
#include <QPointer>
#include <QWidget>
#include <cstdio>

#include "common/Errors.h"
#include "common/StartupTrace.h"

// Set by the build: the installed module relative to the installed program's folder, the build
// folder, and the module in the build folder.
#ifndef TARVEX_BROWSER_MODULE_FROM_PROGRAM
#define TARVEX_BROWSER_MODULE_FROM_PROGRAM "../lib/tarvex/tarvex-browser.so"
#endif

#if QT_CONFIG(opengl)
// QtGui's setter of the application-wide shared OpenGL context (its declaration is in QtGui's
// private headers). QGuiApplication calls it at its construction when AA_ShareOpenGLContexts is
// set.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
#endif

TGeolocationStandIn *GeolocationForm = nullptr;
THelpStandIn *HelpForm = nullptr;

namespace {

QString modulePath;
TBrowserWindows *factory = nullptr;

QtMessageHandler previousHandler = nullptr;

// Passes on every message but Qt's notice that AA_ShareOpenGLContexts comes after the
// application object: here that is on purpose, and what the notice warns of (no shared context)
// is taken care of right after.
void DropLateSharingNotice(QtMsgType type, const QMessageLogContext &context,
                           const QString &message) {
    if (message.contains(QLatin1String("AA_ShareOpenGLContexts"))) {
        return;
    }
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
}

// The browser engine draws its pages with OpenGL into contexts that share their resources with
// the application's: it needs AA_ShareOpenGLContexts and the application-wide shared context.
// QGuiApplication makes that context at its construction when the attribute is set then, at a
// cost of a few hundred milliseconds (the OpenGL driver comes in with it). The program's start
// does without both; the engine gets them here, before its libraries are loaded (they check for
// them as they load) and before it makes its first object.
void PrepareForBrowserEngine() {
    if (!QCoreApplication::testAttribute(Qt::AA_ShareOpenGLContexts)) {
        previousHandler = qInstallMessageHandler(DropLateSharingNotice);
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        qInstallMessageHandler(previousHandler);
    }
#if QT_CONFIG(opengl)
    if (QOpenGLContext::globalShareContext() == nullptr) {
        // Lives until the program ends, as QGuiApplication's own would.
        auto *context = new QOpenGLContext();
        if (context->create()) {
            qt_gl_set_global_share_context(context);
        } else {
            // Without OpenGL the engine draws in software.
            delete context;
        }
    }
#endif
}

}  // namespace

QStringList BrowserModuleCandidates() {
    if (!modulePath.isEmpty()) {
        return {modulePath};
    }
    QStringList candidates;
    const QString programFolder = QCoreApplication::applicationDirPath();
    candidates << QDir::cleanPath(programFolder + QLatin1Char('/') +
                                  QStringLiteral(TARVEX_BROWSER_MODULE_FROM_PROGRAM));
#if defined(TARVEX_BUILD_FOLDER) && defined(TARVEX_BUILD_BROWSER_MODULE)
    // Only a program that runs from the build folder takes the build's module; an installed one
    // must not pick up whatever was built on this machine.
    const QString buildFolder = QFileInfo(QStringLiteral(TARVEX_BUILD_FOLDER)).canonicalFilePath();
    if (!buildFolder.isEmpty() && (programFolder == buildFolder ||
                                   programFolder.startsWith(buildFolder + QLatin1Char('/')))) {
        candidates << QStringLiteral(TARVEX_BUILD_BROWSER_MODULE);
    }
#endif
    return candidates;
}

void SetBrowserModulePath(const QString &path) {
    modulePath = path;
}

TBrowserWindows *BrowserWindows() {
    if (factory != nullptr) {
        return factory;
    }
    const QStringList candidates = BrowserModuleCandidates();
    QString file;
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isFile()) {
            file = candidate;
            break;
        }
    }
    if (file.isEmpty()) {
        throw TxError(QStringLiteral("The browser module of Tarvex is missing (looked for %1).")
                          .arg(candidates.join(QStringLiteral(", "))));
    }
    StartupPhase("browser module wanted");
    PrepareForBrowserEngine();
    StartupPhase("browser engine prepared");
    // Every symbol is bound now, so that a module that does not fit this program fails here with
    // its reason, not later in the middle of a window.
    QLibrary library(file);
    library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    auto entry = reinterpret_cast<BrowserModuleEntry>(library.resolve(kBrowserModuleEntry));
    if (entry == nullptr) {
        throw TxError(QStringLiteral("The browser module of Tarvex cannot be loaded: %1")
                          .arg(library.errorString()));
    }
    factory = entry();
    StartupPhase("browser module loaded");
    return factory;
}

// ---------------------------------------------------------------------------------------------

TGeolocationStandIn::TGeolocationStandIn(QWidget *parent) : QObject(parent), parent_(parent) {}

void TGeolocationStandIn::SetSettingsStore(std::function<void()> load, std::function<void()> save) {
    loadSettings_ = std::move(load);
    saveSettings_ = std::move(save);
    if (!dialog_.isNull()) {
        window_->SetSettingsStore(loadSettings_, saveSettings_);
    }
}

void TGeolocationStandIn::SetAddressSource(std::function<QStringList()> addressLines) {
    addressLines_ = std::move(addressLines);
    if (!dialog_.isNull()) {
        window_->SetAddressSource(addressLines_);
    }
}

void TGeolocationStandIn::SetPlaceLookup(TPlaceLookup lookup) {
    placeLookup_ = std::move(lookup);
    if (!dialog_.isNull()) {
        window_->SetPlaceLookup(placeLookup_);
    }
}

int TGeolocationStandIn::Execute() {
    if (dialog_.isNull()) {
        TMapWindow *window = BrowserWindows()->NewMapWindow(parent_, this);
        window->SetSettingsStore(loadSettings_, saveSettings_);
        window->SetAddressSource(addressLines_);
        window->SetPlaceLookup(placeLookup_);
        window_ = window;
        dialog_ = window->Dialog();
    }
    return window_->Execute();
}

int TGeolocationStandIn::ExecuteRoute(const QStringList &hopLines) {
    const std::function<QStringList()> pinged = addressLines_;
    const bool pingedToLocate = StartGeolocation;
    // Puts the pinged addresses back however the window ends (a module that cannot be loaded
    // throws).
    struct TRestore {
        TGeolocationStandIn *Self;
        std::function<QStringList()> Lines;
        bool Locate;
        ~TRestore() {
            Self->SetAddressSource(Lines);
            Self->ShowRoute = false;
            Self->StartGeolocation = Locate;
        }
    } restore{this, pinged, pingedToLocate};
    SetAddressSource([hopLines] { return hopLines; });
    ShowRoute = true;
    StartGeolocation = true;
    return Execute();
}

QDialog *TGeolocationStandIn::Window() const {
    return dialog_.data();
}

THelpStandIn::THelpStandIn(QWidget *parent) : QObject(parent), parent_(parent) {}

bool THelpStandIn::Execute() {
    if (dialog_.isNull()) {
        window_ = BrowserWindows()->NewHelpWindow(parent_);
        dialog_ = window_->Dialog();
    }
    return window_->Execute();
}

QDialog *THelpStandIn::Window() const {
    return dialog_.data();
}
