#pragma once

class TLocalFile;
class TPingDataModule;

// The single instances that have no global: whoever needs one is handed it.
struct TSingleInstances {
    TLocalFile *Files = nullptr;
    TPingDataModule *Data = nullptr;
};

// Creates the program's single instances in their fixed order (main window first; every other
// window and the data module owned by it), sets the globals of the windows and returns the
// others. The first showing of the main window relies on all of them existing.
TSingleInstances CreateSingleInstances();

// Destroys the main window, and with it every other instance, and clears the globals.
void DestroySingleInstances();
