#pragma once

#include <QDialog>

class TReportForm final : public QDialog {
    Q_OBJECT

public:
    explicit TReportForm(QWidget *parent = nullptr);

    // Shows the window modally; returns its modal result.
    int Execute();
};

extern TReportForm *ReportForm;
