#pragma once

#include <QColor>
#include <QDialog>
#include <QString>
#include <functional>

#include "settings/ColorSelector.h"
#include "settings/ColorValues.h"
#include "settings/SettingsFile.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QTextEdit;
class QToolButton;
class QWidget;
class QChartView;
class QSplineSeries;
class TTripTimeGraph;

// Where the map key is kept while the program runs: the map window holds the working copy (a
// key typed there is saved from it), and a load hands it the key read from the file.
struct TMapKeyHolder {
    std::function<QString()> Read;
    std::function<void(const QString &)> Write;
};

// The settings window and holder of the setting values: the seven integer fields, the four edits
// the main window reads, the four colour selectors and the preview chart whose series colour the
// main window's charts take.
class TSystemSettings final : public QDialog {
    Q_OBJECT

  public:
    explicit TSystemSettings(QWidget *parent = nullptr);

    // Shows the window modally, centred on the screen; returns 1 (OK) or 2 (Cancel).
    int Execute();

    // Reads the settings file into the fields, edits, colour selectors, preview chart, the map
    // key and the service addresses; does nothing when there is no file. Throws TxError when the
    // file exists but cannot be read.
    void LoadPingSettingsActionExecute();
    // Writes the twelve entries from the fields, the colour selectors and the map key. Throws
    // TxError("Unable to write to <path>: <cause>") when the file cannot be written.
    void SavePingSettingsActionExecute();
    // Puts the standard values into the fields, edits, colour selectors and preview chart;
    // writes nothing.
    void SetStandardSettingsActionExecute();

    // The colour of the preview chart's series; the main window's charts take their line colour
    // from it.
    QColor ProcessGraphSeriesColor() const;

    // The map key as last loaded or saved (the key holder has the working copy).
    QString StoredMapKey() const { return mapKey_; }

    // Sets the holder of the map key's working copy. Without one, the key saved is the one last
    // loaded or saved.
    void SetMapKeyHolder(TMapKeyHolder holder);

    // One spin press: writes the new value into SelectedEdit and returns it.
    int SelectedValueDown(QLineEdit *SelectedEdit, int CurrentValue, int MinValue, int Step);
    int SelectedValueUp(QLineEdit *SelectedEdit, int CurrentValue, int MaxValue, int Step);

    // Rewrites the colour sample in the chosen text colours.
    void ColoredText();

    void PingTimeOutButtonDownClick();
    void PingTimeOutButtonUpClick();
    void BufferSizeDownClick();
    void BufferSizeUpClick();
    void TTLDownClick();
    void TTLUpClick();
    void RetriesNoDownClick();
    void RetriesNoUpClick();
    void IntervalDownClick();
    void IntervalUpClick();

    void PingGraphColorSelect();
    void PingResultsColorSelect();
    void PingDebugColorSelect();
    void PingInfoColorSelect();

    // Saves, then closes with result 1; a failed save keeps the window open.
    void OKActionExecute();
    // Closes with result 2; nothing is saved or restored.
    void CancelActionExecute();

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
    // "Ping until stopped": milliseconds between requests (the "Interval" of the file).
    QLineEdit *PingInterval = nullptr;

    TColorSelector *PingGraphColor = nullptr;
    TColorSelector *PingResultsColor = nullptr;
    TColorSelector *PingDebugColor = nullptr;
    TColorSelector *PingInfoColor = nullptr;

    QToolButton *PingTimeOutButtonDown = nullptr;
    QToolButton *PingTimeOutButtonUp = nullptr;
    QToolButton *BufferSizeDown = nullptr;
    QToolButton *BufferSizeUp = nullptr;
    QToolButton *TTLDown = nullptr;
    QToolButton *TTLUp = nullptr;
    QToolButton *RetriesNoDown = nullptr;
    QToolButton *RetriesNoUp = nullptr;
    QToolButton *IntervalDown = nullptr;
    QToolButton *IntervalUp = nullptr;
    QToolButton *RzBmpButton2 = nullptr;  // Apply
    QToolButton *RzBmpButton3 = nullptr;  // Cancel
    QToolButton *RzBmpButton5 = nullptr;  // Default settings

    QChartView *ProcessGraph = nullptr;
    QSplineSeries *Series1 = nullptr;
    QTextEdit *TextColorMemo = nullptr;

    QAction *OKAction = nullptr;
    QAction *CancelAction = nullptr;
    QAction *SetStandardSettingsAction = nullptr;
    QAction *SavePingSettingsAction = nullptr;
    QAction *LoadPingSettingsAction = nullptr;

  public slots:
    void reject() override;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void BuildWindow();
    // The title strip with the default-settings button, the spin rows with the preview, the
    // colour rows with their sample, and the Cancel and Apply strip.
    QFrame *BuildTitleStrip();
    QFrame *BuildSpinPanel();
    QFrame *BuildColorPanel();
    QFrame *BuildButtonStrip();
    // The spin buttons and the colour selectors to their handlers.
    void ConnectControls();
    void BuildActions();
    void FormShow();
    TSettingsValues CurrentValues() const;
    void ShowValues(const TSettingsValues &values);
    void SetSeriesColor(TColor color);

    TColor seriesColor_ = kStandardGraphColor;
    QString mapKey_;
    TMapKeyHolder mapKeyHolder_;
    TTripTimeGraph *preview_ = nullptr;
};

extern TSystemSettings *SystemSettings;
