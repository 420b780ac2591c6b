#pragma once

class TLocalFile;
class TPingDataModule;
class TSettingsModel;

// The single instances that have no global: whoever needs one is handed it.
struct TSingleInstances {
    TLocalFile *Files = nullptr;
    TPingDataModule *Data = nullptr;
    TSettingsModel *Settings = nullptr;
};

// Creates the program's single instances in their fixed order (main window first; every other
// window and the data module owned by it), sets the globals of the windows and returns the
// others.
TSingleInstances CreateSingleInstances();

// The same in two steps, so that the program's start draws its main window before it builds
// windows that nobody sees yet. The first creates, in the same order, the main window and what
// its first showing uses (the settings, the data module, the settings window, whose controls
// follow the settings as they load, and the stand-ins of the map and help windows); the second
// creates the windows that stay hidden until a command opens them (file, report, about, splash,
// contact and update windows) and must come before any command runs.
TSingleInstances CreateInstancesForFirstShowing();
void CreateHiddenInstances(TSingleInstances &own);

// Destroys the main window, and with it every other instance, and clears the globals.
void DestroySingleInstances();
