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
#include "lookup/DataUnit.h"
#include "files/FileManager.h"
#include "reports/ReportUnit.h"
#include "settings/SystemSettingsUnit.h"
#include "update/UpdateUnit.h"

namespace {

// The windows never reach into each other: what one needs from another is handed to it here.
void WireSingleInstances() {
    TMainMenuForm *main = MainMenuForm;
    TSystemSettings *settings = SystemSettings;
    TGeolocationStandIn *map = GeolocationForm;
    // The map window holds the working copy of the map key; the settings file stores it.
    settings->SetMapKeyHolder(
        {[map] { return map->GoogleKey; }, [map](const QString &key) { map->GoogleKey = key; }});
    map->SetSettingsStore([settings] { settings->LoadPingSettingsActionExecute(); },
                          [settings] { settings->SavePingSettingsActionExecute(); });
    map->SetAddressSource([main] { return PaneLines(main->AddressMemo->document()); });
    ReportForm->SetHelpActions(main->OnLineHelpAction, main->ContsctUsAction,
                               main->CheckForUpdatesAction, main->AboutTarvexAction);
}

}  // namespace

void CreateSingleInstances() {
    MainMenuForm = new TMainMenuForm();
    StartupPhase("MainMenuForm");
    LocalFile = new TLocalFile(MainMenuForm);
    StartupPhase("LocalFile");
    PingDataModule = new TPingDataModule(MainMenuForm);
    StartupPhase("PingDataModule");
    ReportForm = new TReportForm(MainMenuForm);
    StartupPhase("ReportForm");
    AboutUsForm = new TAboutUsForm(MainMenuForm);
    StartupPhase("AboutUsForm");
    SplashForm = new TSplashForm(MainMenuForm);
    StartupPhase("SplashForm");
    SystemSettings = new TSystemSettings(MainMenuForm);
    StartupPhase("SystemSettings");
    GeolocationForm = new TGeolocationStandIn(MainMenuForm);
    StartupPhase("GeolocationForm");
    HelpForm = new THelpStandIn(MainMenuForm);
    StartupPhase("HelpForm");
    ContactForm = new TContactForm(MainMenuForm);
    StartupPhase("ContactForm");
    UpgradeForm = new TUpgradeForm(MainMenuForm);
    StartupPhase("UpgradeForm");
    WireSingleInstances();
    StartupPhase("single instances wired");
}

void DestroySingleInstances() {
    delete MainMenuForm;
    MainMenuForm = nullptr;
    LocalFile = nullptr;
    PingDataModule = nullptr;
    ReportForm = nullptr;
    AboutUsForm = nullptr;
    SplashForm = nullptr;
    SystemSettings = nullptr;
    GeolocationForm = nullptr;
    HelpForm = nullptr;
    ContactForm = nullptr;
    UpgradeForm = nullptr;
}
