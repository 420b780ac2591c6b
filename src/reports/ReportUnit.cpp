#include "reports/ReportUnit.h"

TReportForm *ReportForm = nullptr;

TReportForm::TReportForm(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ReportForm"));
    setWindowTitle(QStringLiteral("Tarvex Report"));
}

int TReportForm::Execute() { return exec(); }
