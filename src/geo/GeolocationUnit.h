#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

#include "common/BrowserWindows.h"
#include "geo/MapPage.h"

class QCheckBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QProgressBar;
class QShowEvent;
class QToolButton;
class QVBoxLayout;
class QWebEngineProfile;
class QWebEngineView;
class TBackgroundCall;
class TMapSchemeHandler;
class QWidget;

// The map window "Address Geolocation": a dark web map with one marker per located address of
// the main window's address pane, and the field for the map service key.
// The window lives in the browser module; the program reaches it through TGeolocationStandIn.
class TGeolocationForm final : public QDialog, public TMapWindow {
    Q_OBJECT

  public:
    // `shared` holds the ping flag and the map key that the rest of the program sees (the
    // stand-in's); without it the window keeps its own.
    explicit TGeolocationForm(QWidget *parent = nullptr, TMapWindowState *shared = nullptr);
    ~TGeolocationForm() override;

    QDialog *Dialog() override { return this; }

    // The settings file holds the map key: `load` reads it (handing the key to GoogleKey) each
    // time the window opens, `save` writes it when a key is added. Without them the key lives
    // only in the window.
    void SetSettingsStore(std::function<void()> load, std::function<void()> save) override;

    // Where the pinged addresses come from: the lines of the main window's address pane. Without
    // a source the page has no addresses.
    void SetAddressSource(std::function<QStringList()> addressLines) override;

    // Where the pinged addresses lie: the data module's geolocation lookup. Without one the
    // page cannot be built.
    void SetPlaceLookup(TPlaceLookup lookup) override;

    // Sets the busy cursor (it stays until the browser has finished its page) and shows the
    // window modally; returns its modal result (1 only for OK, which no control gives).
    int Execute() override;

    // On showing: reads the key from the settings store and shows it. Without a ping since
    // start, shows the public map page (or, when the settings choose OpenStreetMap, its map
    // without markers); otherwise builds the map of the pinged addresses (Provider()).
    void FormShow();

    // Builds the page: one geolocation lookup per distinct address of the address pane (up to
    // four at a time, with their progress shown under the map), then loads the page. The lookups
    // run on a thread of their own and the window stays live: this returns at once, and the page
    // is built when the last lookup has ended. While they go, a second call does nothing (the
    // page is built as the window then is).
    void ResultsGeolocationActionExecute();

    // True while the addresses are being located.
    bool IsLocating() const;
    // Esc while the addresses are being located: the lookups end at once, a notice says so and
    // the map is shown without markers; the window stays open. False when nothing was under way.
    bool CancelLocating();

    // The address text of an address pane line (after "Address - ").
    QString GetAddress(const QString &S) const;

    // The IPv4 text of an address pane line.
    QString GetIPAddress(const QString &S) const;

    // Loads `HTMLCode` into the browser from memory, as the page of the program's own scheme
    // (tarvex://map/page.html), which also serves the two marker pictures. The page has no base
    // on disk and may not read local files; the map script comes from the web. Any size.
    void AddressesGeolocation(const QString &HTMLCode);

    // Stores the typed key in GoogleKey and saves it through the settings store; the map is not
    // rebuilt.
    void AddAPIKeyButtonClick();

    // A character typed into the key edit: Enter (carriage return) stores the key.
    void GoogleKeyEditKeyPress(QChar Key);

    // Rebuilds the page with the other marker image.
    void FlagCheckClick();

    // The browser has finished a document: the busy cursor goes.
    void WBDocumentComplete();

  private:
    TMapWindowState ownState_;

  public:
    // Set by a finished ping run, cleared at start-up: tells the window that there are pinged
    // addresses to locate.
    bool &StartGeolocation;
    bool &ShowRoute;

    // Key of the web-map service; loaded and saved with the settings file.
    QString &GoogleKey;
    // The settings' choice of OpenStreetMap over Google Maps.
    bool &PreferOpenStreetMap;

    // The map the window draws: OpenStreetMap when there is no key or the settings choose it,
    // Google Maps otherwise.
    TMapProvider Provider() const;

    QWidget *AddressPanel = nullptr;
    QLabel *AddressLabel = nullptr;
    QLineEdit *GoogleKeyEdit = nullptr;
    QToolButton *AddAPIKeyButton = nullptr;
    QCheckBox *FlagCheck = nullptr;
    // The browser; created the first time the window is shown (the web engine is heavy, and most
    // runs of the program never open the map).
    QWebEngineView *WB = nullptr;
    // Shown under the map while the addresses are looked up.
    QProgressBar *LookupProgress = nullptr;
    // Above the map: what failed and why (a service that could not be reached, a page or script
    // that could not be loaded, no key), or hidden when nothing did.
    QLabel *NoticeLabel = nullptr;

    // The notices shown, one paragraph each.
    QStringList Notices() const { return notices_; }

    // Closing the window ends the lookups under way.
    void done(int result) override;

  protected:
    void showEvent(QShowEvent *event) override;
    // Esc cancels the lookups under way; at rest it closes the window, as in every dialog.
    void keyPressEvent(QKeyEvent *event) override;

  private:
    void EnsureBrowser();
    void ShowPublicMap();
    void SetBusy(bool busy);
    void ClearNotices();
    void AddNotice(const QString &text);
    // The page reports through its title that the map script failed or the key was refused.
    void PageTitleChanged(const QString &title);
    // Says why the map script could not be loaded: the HTTP client's error when it cannot fetch
    // it either. The notice comes once the client has its answer; the window does not wait.
    void ExplainMapScriptFailure();

    void ShowLookupProgress(int done, int total);
    // The places have come: notices for the addresses not located, then the page.
    void PlacesLocated(const QStringList &lines, const QStringList &addresses,
                       QHash<QString, TMapPlace> places);

    TBackgroundCall *lookup_ = nullptr;
    TBackgroundCall *probe_ = nullptr;  // the map script asked again, to learn why it failed
    int lookups_ = 0;  // lookups started, to tell a late progress report from a current one

    QVBoxLayout *browserLayout_ = nullptr;
    // The browser's own profile: the map scheme is served to this window's pages only.
    QWebEngineProfile *profile_ = nullptr;
    TMapSchemeHandler *scheme_ = nullptr;
    int pageBuilds_ = 0;
    bool busy_ = false;
    std::function<void()> loadSettings_;
    std::function<void()> saveSettings_;
    std::function<QStringList()> addressLines_;
    TPlaceLookup placeLookup_;
    QStringList notices_;
    QUrl publicMap_;  // the public map page asked for last, until it has loaded
};
