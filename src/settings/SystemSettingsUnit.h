#pragma once

#include <QColor>
#include <QDialog>

#include "settings/ColorValues.h"

class QLineEdit;

// A colour selector of the settings window: holds the selected colour value.
class TColorSelector : public QWidget {
    Q_OBJECT

public:
    explicit TColorSelector(const QString &name, QWidget *parent = nullptr);

    TColor SelectedColor() const { return selected_; }
    void SetSelectedColor(TColor color);

signals:
    void ColorChanged(TColor color);

private:
    TColor selected_ = clGray;
};

// The settings window and holder of the setting values.
class TSystemSettings final : public QDialog {
    Q_OBJECT

public:
    explicit TSystemSettings(QWidget *parent = nullptr);

    // Shows the window modally; returns 1 (OK) or 2 (Cancel).
    int Execute();

    void LoadPingSettingsActionExecute();
    void SavePingSettingsActionExecute();
    void SetStandardSettingsActionExecute();

    // The colour of the preview chart's series; the main window's charts take their line colour
    // from it.
    QColor ProcessGraphSeriesColor() const;

    int PingTimeOutValue = 0;
    int PingBufferSizeValue = 0;
    int PingTTLValue = 0;
    int PingRetriesNoValue = 0;
    int PingNBSautValue = 0;
    int PingIntervalValue = 0;
    int PingNoValue = 0;

    QLineEdit *PingTimeOut = nullptr;
    QLineEdit *PingBufferSize = nullptr;
    QLineEdit *PingTTL = nullptr;
    QLineEdit *PingRetries = nullptr;

    TColorSelector *PingGraphColor = nullptr;
    TColorSelector *PingResultsColor = nullptr;
    TColorSelector *PingDebugColor = nullptr;
    TColorSelector *PingInfoColor = nullptr;
};

extern TSystemSettings *SystemSettings;
