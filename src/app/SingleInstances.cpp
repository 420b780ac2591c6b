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
// First what the main window's first showing uses.
void WireFirstShowing(const TSingleInstances &own) {
    TMainMenuForm *main = MainMenuForm;
    TGeolocationStandIn *map = GeolocationForm;
    TSettingsModel *settings = own.Settings;
    main->SetSettingsModel(settings);
    main->SetDataModule(own.Data);
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
}

// Then what the hidden windows take.
void WireHidden(const TSingleInstances &own) {
    TMainMenuForm *main = MainMenuForm;
    main->SetFileWindow(own.Files);
    TLocalFile *files = own.Files;
    ReportForm->SetFileChooser([files](TFileMode mode) { return files->Choose(mode); });
    ReportForm->SetHelpActions(main->OnLineHelpAction, main->ContsctUsAction,
                               main->CheckForUpdatesAction, main->AboutTarvexAction);
}

// The one list of the single instances, in their order; each step creates the part of it that
// it is asked for.
void CreateInstances(TSingleInstances &own, bool firstShowing, bool hidden) {
    if (firstShowing) {
        MainMenuForm = new TMainMenuForm();
        StartupPhase("MainMenuForm");
        own.Settings = new TSettingsModel(MainMenuForm);
    }
    if (hidden) {
        own.Files = new TLocalFile(MainMenuForm);
        StartupPhase("LocalFile");
    }
    if (firstShowing) {
        own.Data = new TPingDataModule(MainMenuForm);
        StartupPhase("PingDataModule");
    }
    if (hidden) {
        ReportForm = new TReportForm(MainMenuForm);
        StartupPhase("ReportForm");
        AboutUsForm = new TAboutUsForm(MainMenuForm);
        StartupPhase("AboutUsForm");
        SplashForm = new TSplashForm(MainMenuForm);
        StartupPhase("SplashForm");
    }
    if (firstShowing) {
        SystemSettings = new TSystemSettings(own.Settings, MainMenuForm);
        StartupPhase("SystemSettings");
        GeolocationForm = new TGeolocationStandIn(MainMenuForm);
        StartupPhase("GeolocationForm");
        HelpForm = new THelpStandIn(MainMenuForm);
        StartupPhase("HelpForm");
    }
    if (hidden) {
        ContactForm = new TContactForm(MainMenuForm);
        StartupPhase("ContactForm");
        UpgradeForm = new TUpgradeForm(MainMenuForm);
        StartupPhase("UpgradeForm");
    }
    if (firstShowing) {
        WireFirstShowing(own);
    }
    if (hidden) {
        WireHidden(own);
    }
    StartupPhase("single instances wired");
}

}  // namespace

TSingleInstances CreateSingleInstances() {
    TSingleInstances own;
    CreateInstances(own, true, true);
    return own;
}

TSingleInstances CreateInstancesForFirstShowing() {
    TSingleInstances own;
    CreateInstances(own, true, false);
    return own;
}

void CreateHiddenInstances(TSingleInstances &own) {
    CreateInstances(own, false, true);
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
