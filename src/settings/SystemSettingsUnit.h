#pragma once

#include <QColor>
#include <QDialog>
#include <QString>

#include "settings/ColorSelector.h"
#include "settings/ColorValues.h"
#include "settings/SettingsFile.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QCheckBox;
class QLineEdit;
class QTextEdit;
class QToolButton;
class QWidget;
class QChartView;
class QSplineSeries;
class TSettingsModel;
class TTripTimeGraph;

// The settings window. It edits a copy of the setting values (the seven integer fields, the
// edits, the four colour selectors and the preview chart) and hands it back to the settings model
// when the user confirms it. The copy outlives a Cancel: the next opening shows it again, until
// the model is read from the file again.
class TSystemSettings final : public QDialog {
    Q_OBJECT

  public:
    // `model` outlives the window.
    explicit TSystemSettings(TSettingsModel *model, QWidget *parent = nullptr);

    // Shows the window modally, centred on the screen; returns 1 (OK) or 2 (Cancel).
    int Execute();

    // Reads the settings file into the model, and so into the fields, edits, colour selectors
    // and preview chart; does nothing when there is no file. Throws TxError when the file exists
    // but cannot be read.
    void LoadPingSettingsActionExecute();
    // Hands the fields and the colour selectors to the model, which writes them with its map key
    // and applies them. Throws TxError("Unable to write to <path>: <cause>") when the file cannot
    // be written; the model keeps its values then.
    void SavePingSettingsActionExecute();
    // Puts the standard values into the fields, edits, colour selectors and preview chart;
    // writes nothing.
    void SetStandardSettingsActionExecute();

    // The colour of the preview chart's series; the main window's charts take their line colour
    // from it.
    QColor ProcessGraphSeriesColor() const;

    // The map key the model holds.
    QString StoredMapKey() const;

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
    void RateDownClick();
    void RateUpClick();
    void DownAfterDownClick();
    void DownAfterUpClick();

    void PingGraphColorSelect();
    void PingResultsColorSelect();
    void PingDebugColorSelect();
    void PingInfoColorSelect();

    // Saves, then closes with result 1; a failed save keeps the window open.
    void OKActionExecute();
    // Closes with result 2; nothing is saved or restored.
    void CancelActionExecute();

    // The copy the window edits: the seven integer fields and the four colours as the controls
    // show them (the map key is the model's alone).
    const TSettingsValues &EditedValues() const { return edited_; }

    QLineEdit *PingTimeOut = nullptr;
    QLineEdit *PingBufferSize = nullptr;
    QLineEdit *PingTTL = nullptr;
    QLineEdit *PingRetries = nullptr;
    // "Ping until stopped": milliseconds between requests (the "Interval" of the file).
    QLineEdit *PingInterval = nullptr;
    // Requests a second of list runs and watched lists, 0: no limit (the "Rate" of the file).
    QLineEdit *PingRate = nullptr;
    // A list watch: requests without a reply that make an address down, and whether its changes
    // are desktop notifications.
    QLineEdit *WatchDownAfter = nullptr;
    QCheckBox *WatchNotifications = nullptr;

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
    QToolButton *RateDown = nullptr;
    QToolButton *RateUp = nullptr;
    QToolButton *DownAfterDown = nullptr;
    QToolButton *DownAfterUp = nullptr;
    QToolButton *RzBmpButton2 = nullptr;  // Apply
    QToolButton *RzBmpButton3 = nullptr;  // Cancel
    QToolButton *RzBmpButton5 = nullptr;  // Default settings

    QChartView *ProcessGraph = nullptr;
    QSplineSeries *Series1 = nullptr;
    QTextEdit *TextColorMemo = nullptr;
    // "Map": Google Maps or OpenStreetMap; and whether the online geolocation service is asked.
    QComboBox *MapProviderBox = nullptr;
    QCheckBox *GeolocationServiceCheck = nullptr;

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
    void ShowValues(const TSettingsValues &values);
    // One press of a spin button of `edit`, which shows `field`.
    void Spin(QLineEdit *edit, qint32 TSettingsValues::*field, const TSpinRange &range, bool up);
    void SetSeriesColor(TColor color);

    TSettingsModel *model_;
    TSettingsValues edited_;
    TTripTimeGraph *preview_ = nullptr;
};

extern TSystemSettings *SystemSettings;
