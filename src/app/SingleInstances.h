#pragma once

// Creates the program's single instances in their fixed order (main window first; every other
// window and the data module owned by it) and sets their globals. The first showing of the main
// window relies on all of them existing.
void CreateSingleInstances();

// Destroys the main window, and with it every other instance, and clears the globals.
void DestroySingleInstances();
