// Report command of the main window.
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
    ReportForm->Execute();
}
