// Address lists, result files and pane texts of the main window.
#include "app/MainMenuUnit.h"

void TMainMenuForm::LoadAddressListActionExecute() {}
void TMainMenuForm::SaveResultsActionExecute() {}
void TMainMenuForm::LoadTextActionExecute() {}
void TMainMenuForm::SaveTextActionExecute() {}
