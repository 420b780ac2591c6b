// Report command of the main window.
#include <QAction>
#include <QTextEdit>

#include "app/MainMenuUnit.h"
#include "reports/ReportBody.h"
#include "reports/ReportUnit.h"

void TMainMenuForm::CreateReportActionExecute() {
    CreateReportBody(*DebugMemo->document(), *TempMemo->document(), PingDataSet());
    // The hidden data-aware editor shows the stored body itself rather than a copy of it.
    if (DBRichEdit->document() != PingDataSet().ResultData()) {
        DBRichEdit->setDocument(PingDataSet().ResultData());
    }
    static bool helpActionsSet = false;
    if (!helpActionsSet) {
        helpActionsSet = true;
        const auto named = [this](const char *name) {
            return findChild<QAction *>(QLatin1String(name));
        };
        ReportForm->SetHelpActions(named("OnLineHelpAction"), named("ContsctUsAction"),
                                   named("CheckForUpdatesAction"), named("AboutTarvexAction"));
    }
    ReportForm->Execute();
}
