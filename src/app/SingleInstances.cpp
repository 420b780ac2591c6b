#include "app/SingleInstances.h"

#include <QAction>
#include <QTextEdit>

#include "app/AboutUsUnit.h"
#include "app/MainMenuUnit.h"
#include "app/SplashUnit.h"
#include "common/BrowserWindows.h"
#include "common/StartupTrace.h"
#include "common/TX_Edit.h"
#include "contact/ContactUnit.h"
#include "files/FileManager.h"
#include "lookup/DataUnit.h"
#include "ping/EchoService.h"
#include "reports/ReportUnit.h"
#include "settings/SettingsModel.h"
#include "settings/SystemSettingsUnit.h"
#include "update/UpdateUnit.h"

namespace {

// The windows never reach into each other: what one needs from another is handed to it here.
void WireSingleInstances(TSettingsModel *settings, const TSingleInstances &own) {
    TMainMenuForm *main = MainMenuForm;
    TGeolocationStandIn *map = GeolocationForm;
    main->SetSettingsModel(settings);
    main->SetDataModule(own.Data);
    main->SetFileWindow(own.Files);
    main->SetEchoService(ConnectEchoService);
    // The map window shows the key the model read last, and reads the file again each time it
    // opens; a key typed there goes into the model and the file with the values the program runs
    // with.
    QObject::connect(settings, &TSettingsModel::Loaded, map,
                     [settings, map] { map->GoogleKey = settings->MapKey(); });
    // The map choice as the settings hold it, whenever they are read or confirmed.
    const auto takeMapChoice = [settings, map] {
        map->PreferOpenStreetMap = settings->Values().MapChoice == TMapChoice::OpenStreetMap;
    };
    QObject::connect(settings, &TSettingsModel::Loaded, map, takeMapChoice);
    QObject::connect(settings, &TSettingsModel::Changed, map, takeMapChoice);
    map->SetSettingsStore([settings] { settings->Load(); },
                          [settings, map] {
                              settings->SetMapKey(map->GoogleKey);
                              settings->Save();
                          });
    map->SetAddressSource([main] { return PaneLines(main->AddressMemo->document()); });
    TPingDataModule *data = own.Data;
    map->SetPlaceLookup([data, settings](const QStringList &addresses,
                                         const std::function<void(int, int)> &progress) {
        return data->PlacesQuery(addresses, progress, settings->Values().AskGeolocationService);
    });
    TLocalFile *files = own.Files;
    ReportForm->SetFileChooser([files](TFileMode mode) { return files->Choose(mode); });
    ReportForm->SetHelpActions(main->OnLineHelpAction, main->ContsctUsAction,
                               main->CheckForUpdatesAction, main->AboutTarvexAction);
}

}  // namespace

TSingleInstances CreateSingleInstances() {
    MainMenuForm = new TMainMenuForm();
    StartupPhase("MainMenuForm");
    auto *settings = new TSettingsModel(MainMenuForm);
    TSingleInstances own;
    own.Files = new TLocalFile(MainMenuForm);
    StartupPhase("LocalFile");
    own.Data = new TPingDataModule(MainMenuForm);
    StartupPhase("PingDataModule");
    ReportForm = new TReportForm(MainMenuForm);
    StartupPhase("ReportForm");
    AboutUsForm = new TAboutUsForm(MainMenuForm);
    StartupPhase("AboutUsForm");
    SplashForm = new TSplashForm(MainMenuForm);
    StartupPhase("SplashForm");
    SystemSettings = new TSystemSettings(settings, MainMenuForm);
    StartupPhase("SystemSettings");
    GeolocationForm = new TGeolocationStandIn(MainMenuForm);
    StartupPhase("GeolocationForm");
    HelpForm = new THelpStandIn(MainMenuForm);
    StartupPhase("HelpForm");
    ContactForm = new TContactForm(MainMenuForm);
    StartupPhase("ContactForm");
    UpgradeForm = new TUpgradeForm(MainMenuForm);
    StartupPhase("UpgradeForm");
    WireSingleInstances(settings, own);
    StartupPhase("single instances wired");
    return own;
}

void DestroySingleInstances() {
    delete MainMenuForm;
    MainMenuForm = nullptr;
    ReportForm = nullptr;
    AboutUsForm = nullptr;
    SplashForm = nullptr;
    SystemSettings = nullptr;
    GeolocationForm = nullptr;
    HelpForm = nullptr;
    ContactForm = nullptr;
    UpgradeForm = nullptr;
}
