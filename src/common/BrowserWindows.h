#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

#include "common/MapPlaces.h"

class QWidget;

// The map window and the on-line help hold the embedded browser. Its engine is large: loading
// its libraries, and the shared OpenGL context it needs, would add a good part of a second to
// every start, while most sessions never open either window. So both windows live in a module
// of their own that the program loads the first time one of them opens. The rest of the program
// reaches them only through the stand-ins below, which are made at start like every other
// single instance and make the real window when it first opens.

// What the map window shares with the rest of the program. The stand-in holds it from the start;
// the real window, once made, works on the same values.
struct TMapWindowState {
    // Set by a finished ping run, cleared at start-up: tells the window that there are pinged
    // addresses to locate.
    bool StartGeolocation = false;
    // Set while the window shows a traced route: the addresses are the route's hops in order,
    // drawn as numbered markers joined by a line.
    bool ShowRoute = false;
    // Key of the web-map service; loaded and saved with the settings file.
    QString GoogleKey;
    // The settings' map choice: OpenStreetMap even with a key. Without a key the map is
    // OpenStreetMap whatever the choice.
    bool PreferOpenStreetMap = false;
};

// The map window as the module makes it.
class TMapWindow {
  public:
    virtual ~TMapWindow() = default;
    virtual QDialog *Dialog() = 0;
    // See TGeolocationStandIn.
    virtual void SetSettingsStore(std::function<void()> load, std::function<void()> save) = 0;
    virtual void SetAddressSource(std::function<QStringList()> addressLines) = 0;
    virtual void SetPlaceLookup(TPlaceLookup lookup) = 0;
    virtual int Execute() = 0;
};

// The help window as the module makes it.
class THelpWindow {
  public:
    virtual ~THelpWindow() = default;
    virtual QDialog *Dialog() = 0;
    virtual bool Execute() = 0;
};

// What the module hands out from its one entry point, the C function named by
// kBrowserModuleEntry. The windows are owned by `parent`.
class TBrowserWindows {
  public:
    virtual ~TBrowserWindows() = default;
    // `state` outlives the window.
    virtual TMapWindow *NewMapWindow(QWidget *parent, TMapWindowState *state) = 0;
    virtual THelpWindow *NewHelpWindow(QWidget *parent) = 0;
};

inline constexpr char kBrowserModuleEntry[] = "TarvexBrowserWindows";
using BrowserModuleEntry = TBrowserWindows *(*)();

// Loads the module (once) and returns its factory. Throws TxError naming the module and the
// reason when it cannot be loaded. Before the module's libraries come in, the application gets
// what the browser engine expects to find set up at its start (see BrowserWindows.cpp).
TBrowserWindows *BrowserWindows();

// The module file, in the order tried: installed beside the program (lib/tarvex/ next to its
// bin/ folder), then, for a program that runs from the build folder, the build's own.
QStringList BrowserModuleCandidates();

// Loads the module from this file instead (tests: a missing or broken module); an empty path
// puts the usual search back. Has no effect once the module is loaded.
void SetBrowserModulePath(const QString &path);

// The single instance `GeolocationForm`: the map window "Address Geolocation" until it is first
// opened, and the way to it afterwards.
class TGeolocationStandIn final : public QObject, public TMapWindowState {
    Q_OBJECT

  public:
    explicit TGeolocationStandIn(QWidget *parent);

    // The settings file holds the map key: `load` reads it (handing the key to GoogleKey) each
    // time the window opens, `save` writes it when a key is added.
    void SetSettingsStore(std::function<void()> load, std::function<void()> save);

    // Where the pinged addresses come from: the lines of the main window's address pane.
    void SetAddressSource(std::function<QStringList()> addressLines);

    // Where the window learns where the pinged addresses lie: the data module's geolocation
    // lookup.
    void SetPlaceLookup(TPlaceLookup lookup);

    // Makes the window when it does not exist yet, then shows it modally and returns its modal
    // result. Throws TxError when the module cannot be loaded; nothing is changed then.
    int Execute();

    // Execute for a traced route: the window locates `hopLines` (address-pane lines of the
    // located hops, in route order) instead of the pinged addresses and draws them as numbered
    // markers joined by a line. Afterwards the window shows the pinged addresses again.
    int ExecuteRoute(const QStringList &hopLines);

    // The real window, or nullptr before its first opening.
    QDialog *Window() const;

  private:
    QWidget *parent_;
    // The window is owned by parent_; dialog_ notices when it goes.
    TMapWindow *window_ = nullptr;
    QPointer<QDialog> dialog_;
    std::function<void()> loadSettings_;
    std::function<void()> saveSettings_;
    std::function<QStringList()> addressLines_;
    TPlaceLookup placeLookup_;
};

// The single instance `HelpForm`: the on-line help window, made when it first opens.
class THelpStandIn final : public QObject {
    Q_OBJECT

  public:
    explicit THelpStandIn(QWidget *parent);

    // Makes the window when needed and shows it modally; true for OK, which it never sets.
    // Throws TxError when the module cannot be loaded.
    bool Execute();

    // The real window, or nullptr before its first opening.
    QDialog *Window() const;

  private:
    QWidget *parent_;
    THelpWindow *window_ = nullptr;
    QPointer<QDialog> dialog_;
};

extern TGeolocationStandIn *GeolocationForm;
extern THelpStandIn *HelpForm;
