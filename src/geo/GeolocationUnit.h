#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QShowEvent;
class QToolButton;
class QVBoxLayout;
class QWebEngineView;
class QWidget;

// The map window "Address Geolocation": a dark web map with one marker per located address of
// the main window's address pane, and the field for the map service key.
class TGeolocationForm final : public QDialog {
    Q_OBJECT

  public:
    explicit TGeolocationForm(QWidget *parent = nullptr);

    // Sets the busy cursor (it stays until the browser has finished its page) and shows the
    // window modally; returns its modal result (1 only for OK, which no control gives).
    int Execute();

    // On showing: reads the key from the settings file and shows it; without a key, or without
    // a ping since start, shows the public map page; otherwise builds the map of the pinged
    // addresses.
    void FormShow();

    // Builds the page: one geolocation lookup per line of the address pane, then loads the page.
    void ResultsGeolocationActionExecute();

    // The address text of an address pane line (after "Address - ").
    QString GetAddress(const QString &S) const;

    // The IPv4 text of an address pane line.
    QString GetIPAddress(const QString &S) const;

    // Loads `HTMLCode` into the browser from memory. The page's base is the data folder's image
    // folder, so the marker images load as local files while the map script comes from the web.
    void AddressesGeolocation(const QString &HTMLCode);

    // Stores the typed key in GoogleKey and writes the settings file; the map is not rebuilt.
    void AddAPIKeyButtonClick();

    // A character typed into the key edit: Enter (carriage return) stores the key.
    void GoogleKeyEditKeyPress(QChar Key);

    // Rebuilds the page with the other marker image.
    void FlagCheckClick();

    // The browser has finished a document: the busy cursor goes.
    void WBDocumentComplete();

    // Set by a finished ping run, cleared at start-up: tells the window that there are pinged
    // addresses to locate.
    bool StartGeolocation = false;

    // Key of the web-map service; loaded and saved with the settings file.
    QString GoogleKey;

    QWidget *AddressPanel = nullptr;
    QLabel *AddressLabel = nullptr;
    QLineEdit *GoogleKeyEdit = nullptr;
    QToolButton *AddAPIKeyButton = nullptr;
    QCheckBox *FlagCheck = nullptr;
    // The browser; created the first time the window is shown (the web engine is heavy, and most
    // runs of the program never open the map).
    QWebEngineView *WB = nullptr;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void EnsureBrowser();
    void ShowPublicMap();
    void SetBusy(bool busy);

    QVBoxLayout *browserLayout_ = nullptr;
    bool busy_ = false;
};

extern TGeolocationForm *GeolocationForm;
