// Report command of the main window.
#include "app/MainMenuUnit.h"

#include "reports/ReportUnit.h"

void TMainMenuForm::CreateReportActionExecute() { ReportForm->Execute(); }
