#include "settings/SystemSettingsUnit.h"

#include "common/WindowOpening.h"
#include "common/WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QScreen>
#include <QShowEvent>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtCharts/QChartView>
#include <QtCharts/QSplineSeries>

#include "common/CommandGuard.h"
#include "common/DataPaths.h"
#include "common/TX_File.h"
#include "common/TripTimeGraph.h"
#include "common/WindowLook.h"
#include "settings/SettingsModel.h"

TSystemSettings *SystemSettings = nullptr;

namespace {

const QColor kBackground = LookWindowColor();
const QColor kPanelBorder(0x55, 0x55, 0x55);
const QColor kText(0x9A, 0x9A, 0x9A);
const QString kCategory = QStringLiteral("[ SYSTEM SETTINGS ]");
constexpr int kPictureSize = 18;
// The preview curve is drawn 37 % transparent.
constexpr int kSeriesAlpha = 161;

// The artwork of the picture buttons.
const QString kMinusPicture = QStringLiteral("ButtonMinus.png");
const QString kPlusPicture = QStringLiteral("ButtonPlus.png");
const QString kApplyPicture = QStringLiteral("ButtonOK.png");
const QString kCancelPicture = QStringLiteral("ButtonClose.png");
const QString kDefaultsPicture = QStringLiteral("ButtonDefaults.png");

// The spin and command buttons take no focus: the window is driven by the mouse and by its
// Return and Esc keys.
QToolButton *PictureButton(const char *name, const QString &hint, const QString &picture,
                           QWidget *parent) {
    QToolButton *button =
        NewPictureButton(parent, QString::fromLatin1(name), picture, kPictureSize + 2, hint);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QFrame *Panel(const char *name, QWidget *parent) {
    auto *panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setStyleSheet(QStringLiteral("QFrame#%1 { border: 1px solid %2; }")
                             .arg(QString::fromLatin1(name), kPanelBorder.name()));
    return panel;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TSystemSettings

TSystemSettings::TSystemSettings(TSettingsModel *model, QWidget *parent)
    : QDialog(parent), model_(model) {
    setObjectName(QStringLiteral("SystemSettings"));
    setWindowTitle(QString());
    BuildWindow();
    BuildActions();
    // Until the first load the controls show their design values.
    PingGraphColor->SetSelectedColor(kStandardGraphColor);
    edited_.GraphColor = kStandardGraphColor;
    edited_.ResultsColor = PingResultsColor->SelectedColor();
    edited_.DebugColor = PingDebugColor->SelectedColor();
    edited_.InfoColor = PingInfoColor->SelectedColor();
    SetSeriesColor(kStandardGraphColor);
    ColoredText();
    // What the model takes in replaces the copy, edits left by a Cancel included.
    const auto showModel = [this] { ShowValues(model_->Values()); };
    connect(model_, &TSettingsModel::Changed, this, showModel);
    connect(model_, &TSettingsModel::Loaded, this, showModel);
}

void TSystemSettings::BuildWindow() {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(602, 309);
    setFont(FittingWindowFont());
    PaintDarkControls(this, kText, kBackground.darker(125));

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    root->addWidget(BuildTitleStrip());
    auto *middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    root->addLayout(middle, 1);
    middle->addWidget(BuildSpinPanel());
    middle->addWidget(BuildColorPanel(), 1);
    root->addWidget(BuildButtonStrip());
    ConnectControls();
}

QFrame *TSystemSettings::BuildTitleStrip() {
    // Top strip: title at the left, the default-settings button at the right.
    QFrame *RzPanel1 = Panel("RzPanel1", this);
    RzPanel1->setFixedHeight(32);
    auto *top = new QHBoxLayout(RzPanel1);
    top->setContentsMargins(10, 4, 8, 4);
    QLabel *RzLabel3 =
        NewLabel(RzPanel1, QStringLiteral("RzLabel3"), QStringLiteral("Ping Settings"));
    QFont titleFont = font();
    titleFont.setBold(true);
    titleFont.setPointSize(10);
    RzLabel3->setFont(titleFont);
    top->addWidget(RzLabel3);
    top->addStretch(1);
    top->addWidget(
        NewLabel(RzPanel1, QStringLiteral("RzLabel5"), QStringLiteral("Default settings")));
    RzBmpButton5 = PictureButton("RzBmpButton5", QStringLiteral("Default settings"),
                                 kDefaultsPicture, RzPanel1);
    top->addWidget(RzBmpButton5);
    return RzPanel1;
}

QFrame *TSystemSettings::BuildSpinPanel() {
    // Left panel: the five spin rows and the preview chart.
    QFrame *RzPanel12 = Panel("RzPanel12", this);
    auto *left = new QVBoxLayout(RzPanel12);
    left->setContentsMargins(8, 4, 8, 2);
    left->setSpacing(0);
    auto *spinGrid = new QGridLayout;
    spinGrid->setHorizontalSpacing(4);
    spinGrid->setVerticalSpacing(2);
    left->addLayout(spinGrid);
    int row = 0;
    auto spinRow = [&](const char *labelName, const QString &caption, const char *downName,
                       const QString &downHint, const char *editName, const char *editText,
                       const char *upName, const QString &upHint, QToolButton **down,
                       QLineEdit **edit, QToolButton **up) {
        spinGrid->addWidget(NewLabel(RzPanel12, QString::fromLatin1(labelName), caption), row, 0);
        *down = PictureButton(downName, downHint, kMinusPicture, RzPanel12);
        *edit = new QLineEdit(QString::fromLatin1(editText), RzPanel12);
        (*edit)->setObjectName(QString::fromLatin1(editName));
        (*edit)->setReadOnly(true);
        (*edit)->setAlignment(Qt::AlignCenter);
        (*edit)->setFixedSize(50, 20);
        (*edit)->setFocusPolicy(Qt::NoFocus);
        *up = PictureButton(upName, upHint, kPlusPicture, RzPanel12);
        spinGrid->addWidget(*down, row, 1);
        spinGrid->addWidget(*edit, row, 2);
        spinGrid->addWidget(*up, row, 3);
        ++row;
    };
    spinRow("Label6", QStringLiteral("Time out in milesecond to wite"), "PingTimeOutButtonDown",
            QStringLiteral("Receive Timeout [-]"), "PingTimeOut", "1000", "PingTimeOutButtonUp",
            QStringLiteral("Receive Timeout [+]"), &PingTimeOutButtonDown, &PingTimeOut,
            &PingTimeOutButtonUp);
    spinRow("Label8", QStringLiteral("Send data request buffer size"), "BufferSizeDown",
            QStringLiteral("Interval [-]"), "PingBufferSize", "32", "BufferSizeUp",
            QStringLiteral("Interval [+]"), &BufferSizeDown, &PingBufferSize, &BufferSizeUp);
    spinRow("Label10", QStringLiteral("Time to live [ TTL ]"), "TTLDown",
            QStringLiteral("Interval [-]"), "PingTTL", "128", "TTLUp",
            QStringLiteral("Interval [+]"), &TTLDown, &PingTTL, &TTLUp);
    spinRow("Label11", QStringLiteral("Retries number"), "RetriesNoDown",
            QStringLiteral("Interval [-]"), "PingRetries", "4", "RetriesNoUp",
            QStringLiteral("Interval [+]"), &RetriesNoDown, &PingRetries, &RetriesNoUp);
    spinRow("IntervalLabel", QStringLiteral("Ping until stopped, every [ ms ]"), "IntervalDown",
            QStringLiteral("Interval [-]"), "PingInterval", "300", "IntervalUp",
            QStringLiteral("Interval [+]"), &IntervalDown, &PingInterval, &IntervalUp);
    spinGrid->setColumnStretch(0, 1);

    // The preview of the main window's trip-time graph, without its titles; it pans sideways.
    preview_ = new TTripTimeGraph(QStringLiteral("ProcessGraph"), QString(), QString(), RzPanel12);
    preview_->SetPanning(true);
    Series1 = preview_->Curve();
    ProcessGraph = preview_;
    left->addWidget(ProcessGraph, 1);
    RzPanel12->setFixedWidth(320);
    return RzPanel12;
}

QFrame *TSystemSettings::BuildColorPanel() {
    // Right panel: the four colour rows and the colour sample.
    QFrame *RzPanel2 = Panel("RzPanel2", this);
    auto *right = new QVBoxLayout(RzPanel2);
    right->setContentsMargins(8, 6, 8, 6);
    right->setSpacing(4);
    auto *colorGrid = new QGridLayout;
    colorGrid->setHorizontalSpacing(6);
    colorGrid->setVerticalSpacing(3);
    right->addLayout(colorGrid);
    int row = 0;
    auto colorRow = [&](const char *labelName, const QString &caption, const char *selectorName) {
        colorGrid->addWidget(NewLabel(RzPanel2, QString::fromLatin1(labelName), caption), row, 0);
        auto *selector = new TColorSelector(QString::fromLatin1(selectorName), RzPanel2);
        selector->setFixedSize(112, 20);
        colorGrid->addWidget(selector, row, 1);
        ++row;
        return selector;
    };
    PingGraphColor = colorRow("Label12", QStringLiteral("Process graph color"), "PingGraphColor");
    PingResultsColor = colorRow("Label3", QStringLiteral("Results color"), "PingResultsColor");
    PingDebugColor = colorRow("Label2", QStringLiteral("Address list color"), "PingDebugColor");
    PingInfoColor =
        colorRow("Label4", QStringLiteral("Address information color"), "PingInfoColor");
    colorGrid->addWidget(NewLabel(RzPanel2, QStringLiteral("MapLabel"), QStringLiteral("Map")), row,
                         0);
    MapProviderBox = new QComboBox(RzPanel2);
    MapProviderBox->setObjectName(QStringLiteral("MapProviderBox"));
    MapProviderBox->addItems({QStringLiteral("Google Maps"), QStringLiteral("OpenStreetMap")});
    MapProviderBox->setToolTip(
        QStringLiteral("Without a Google Maps key the map is OpenStreetMap whatever is chosen"));
    MapProviderBox->setFixedSize(112, 20);
    colorGrid->addWidget(MapProviderBox, row++, 1);
    GeolocationServiceCheck =
        new QCheckBox(QStringLiteral("Ask the online geolocation service"), RzPanel2);
    GeolocationServiceCheck->setObjectName(QStringLiteral("GeolocationServiceCheck"));
    GeolocationServiceCheck->setChecked(true);
    GeolocationServiceCheck->setToolTip(
        QStringLiteral("Off: no address is sent to the geolocation service; the map places "
                       "addresses in their country from the offline location database"));
    colorGrid->addWidget(GeolocationServiceCheck, row++, 0, 1, 2);
    WatchNotifications =
        new QCheckBox(QStringLiteral("Notify the desktop of watch changes"), RzPanel2);
    WatchNotifications->setObjectName(QStringLiteral("WatchNotifications"));
    WatchNotifications->setChecked(true);
    WatchNotifications->setToolTip(
        QStringLiteral("A watched address that goes down or comes back is a desktop notification "
                       "while the main window is not the active one"));
    colorGrid->addWidget(WatchNotifications, row++, 0, 1, 2);
    // The watch's spin sits here, beside its check box, so that the preview keeps its height.
    colorGrid->addWidget(NewLabel(RzPanel2, QStringLiteral("DownAfterLabel"),
                                  QStringLiteral("Watch: down after [ lost ]")),
                         row, 0);
    auto *spin = new QHBoxLayout;
    spin->setSpacing(4);
    DownAfterDown =
        PictureButton("DownAfterDown", QStringLiteral("Down after [-]"), kMinusPicture, RzPanel2);
    WatchDownAfter = new QLineEdit(QStringLiteral("3"), RzPanel2);
    WatchDownAfter->setObjectName(QStringLiteral("WatchDownAfter"));
    WatchDownAfter->setReadOnly(true);
    WatchDownAfter->setAlignment(Qt::AlignCenter);
    WatchDownAfter->setFixedSize(50, 20);
    WatchDownAfter->setFocusPolicy(Qt::NoFocus);
    DownAfterUp =
        PictureButton("DownAfterUp", QStringLiteral("Down after [+]"), kPlusPicture, RzPanel2);
    spin->addWidget(DownAfterDown);
    spin->addWidget(WatchDownAfter);
    spin->addWidget(DownAfterUp);
    colorGrid->addLayout(spin, row++, 1);
    // The send rate's spin too: a row more on the left would squeeze the preview below its
    // axis labels.
    QLabel *rateLabel =
        NewLabel(RzPanel2, QStringLiteral("RateLabel"), QStringLiteral("Rate [ requests/s ]"));
    rateLabel->setToolTip(
        QStringLiteral("Requests a second of list runs and watched lists, spread "
                       "evenly; 0: no limit"));
    colorGrid->addWidget(rateLabel, row, 0);
    auto *rateSpin = new QHBoxLayout;
    rateSpin->setSpacing(4);
    RateDown = PictureButton("RateDown", QStringLiteral("Rate [-]"), kMinusPicture, RzPanel2);
    PingRate = new QLineEdit(QStringLiteral("2000"), RzPanel2);
    PingRate->setObjectName(QStringLiteral("PingRate"));
    PingRate->setReadOnly(true);
    PingRate->setAlignment(Qt::AlignCenter);
    PingRate->setFixedSize(50, 20);
    PingRate->setFocusPolicy(Qt::NoFocus);
    RateUp = PictureButton("RateUp", QStringLiteral("Rate [+]"), kPlusPicture, RzPanel2);
    rateSpin->addWidget(RateDown);
    rateSpin->addWidget(PingRate);
    rateSpin->addWidget(RateUp);
    colorGrid->addLayout(rateSpin, row++, 1);
    colorGrid->setColumnStretch(0, 1);
    TextColorMemo = new QTextEdit(RzPanel2);
    TextColorMemo->setObjectName(QStringLiteral("TextColorMemo"));
    TextColorMemo->setFrameShape(QFrame::NoFrame);
    TextColorMemo->setReadOnly(true);
    TextColorMemo->setFocusPolicy(Qt::NoFocus);
    TextColorMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TextColorMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PaintPane(TextColorMemo, kBackground, kText);
    right->addSpacing(6);
    right->addWidget(TextColorMemo, 1);
    return RzPanel2;
}

QFrame *TSystemSettings::BuildButtonStrip() {
    // Bottom strip: Cancel and Apply, each a label beside its picture button.
    QFrame *RzPanel5 = Panel("RzPanel5", this);
    RzPanel5->setFixedHeight(32);
    auto *bottom = new QHBoxLayout(RzPanel5);
    bottom->setContentsMargins(8, 4, 8, 4);
    bottom->addStretch(1);
    bottom->addWidget(NewLabel(RzPanel5, QStringLiteral("RzLabel4"), QStringLiteral("Cancel")));
    RzBmpButton3 =
        PictureButton("RzBmpButton3", QStringLiteral("Cancel"), kCancelPicture, RzPanel5);
    bottom->addWidget(RzBmpButton3);
    bottom->addSpacing(16);
    bottom->addWidget(NewLabel(RzPanel5, QStringLiteral("ProcessLabel"), QStringLiteral("Apply")));
    RzBmpButton2 = PictureButton("RzBmpButton2", QStringLiteral("Apply"), kApplyPicture, RzPanel5);
    bottom->addWidget(RzBmpButton2);
    return RzPanel5;
}

void TSystemSettings::ConnectControls() {
    const std::pair<QToolButton *, void (TSystemSettings::*)()> spins[] = {
        {PingTimeOutButtonDown, &TSystemSettings::PingTimeOutButtonDownClick},
        {PingTimeOutButtonUp, &TSystemSettings::PingTimeOutButtonUpClick},
        {BufferSizeDown, &TSystemSettings::BufferSizeDownClick},
        {BufferSizeUp, &TSystemSettings::BufferSizeUpClick},
        {TTLDown, &TSystemSettings::TTLDownClick},
        {TTLUp, &TSystemSettings::TTLUpClick},
        {RetriesNoDown, &TSystemSettings::RetriesNoDownClick},
        {RetriesNoUp, &TSystemSettings::RetriesNoUpClick},
        {IntervalDown, &TSystemSettings::IntervalDownClick},
        {IntervalUp, &TSystemSettings::IntervalUpClick},
        {RateDown, &TSystemSettings::RateDownClick},
        {RateUp, &TSystemSettings::RateUpClick},
        {DownAfterDown, &TSystemSettings::DownAfterDownClick},
        {DownAfterUp, &TSystemSettings::DownAfterUpClick},
    };
    for (const auto &spin : spins) {
        connect(spin.first, &QToolButton::clicked, this, spin.second);
    }
    connect(MapProviderBox, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        edited_.MapChoice = index == 1 ? TMapChoice::OpenStreetMap : TMapChoice::GoogleMaps;
    });
    connect(GeolocationServiceCheck, &QCheckBox::toggled, this,
            [this](bool on) { edited_.AskGeolocationService = on; });
    connect(PingGraphColor, &TColorSelector::ColorSelected, this,
            &TSystemSettings::PingGraphColorSelect);
    connect(PingResultsColor, &TColorSelector::ColorSelected, this,
            &TSystemSettings::PingResultsColorSelect);
    connect(PingDebugColor, &TColorSelector::ColorSelected, this,
            &TSystemSettings::PingDebugColorSelect);
    connect(PingInfoColor, &TColorSelector::ColorSelected, this,
            &TSystemSettings::PingInfoColorSelect);
    connect(WatchNotifications, &QCheckBox::toggled, this,
            [this](bool on) { edited_.WatchNotificationsValue = on ? 1 : 0; });
}

void TSystemSettings::BuildActions() {
    auto action = [this](const char *name, const QString &text, const QString &picture,
                         const QList<QKeySequence> &shortcuts) {
        auto *a = new QAction(ArtworkIcon(picture), text, this);
        a->setObjectName(QString::fromLatin1(name));
        a->setProperty("category", kCategory);
        a->setShortcuts(shortcuts);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        return a;
    };
    OKAction = action("OKAction", QStringLiteral("Apply"), kApplyPicture,
                      {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    CancelAction = action("CancelAction", QStringLiteral("Cancel"), kCancelPicture,
                          {QKeySequence(Qt::Key_Escape)});
    SetStandardSettingsAction = action("SetStandardSettingsAction",
                                       QStringLiteral("Default settings"), kDefaultsPicture, {});
    SavePingSettingsAction = action("SavePingSettingsAction",
                                    QStringLiteral("SavePingSettingsAction"), kApplyPicture, {});
    LoadPingSettingsAction = action("LoadPingSettingsAction",
                                    QStringLiteral("LoadPingSettingsAction"), kApplyPicture, {});
    RzBmpButton2->setDefaultAction(OKAction);
    RzBmpButton3->setDefaultAction(CancelAction);
    RzBmpButton5->setDefaultAction(SetStandardSettingsAction);
    ConnectCommand(OKAction, this, [this] { OKActionExecute(); });
    ConnectCommand(CancelAction, this, [this] { CancelActionExecute(); });
    ConnectCommand(SetStandardSettingsAction, this, [this] { SetStandardSettingsActionExecute(); });
    ConnectCommand(SavePingSettingsAction, this, [this] { SavePingSettingsActionExecute(); });
    ConnectCommand(LoadPingSettingsAction, this, [this] { LoadPingSettingsActionExecute(); });
}

int TSystemSettings::Execute() {
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    CenterOnScreen(this);
    const int result = exec();
    QApplication::restoreOverrideCursor();
    return result == 1 ? 1 : 2;
}

void TSystemSettings::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (IsWindowOpening(event)) {
        FormShow();
    }
}

void TSystemSettings::FormShow() {
    preview_->ShowCurve(PreviewCurvePoints(QRandomGenerator::global()));

    // The folder was removed while the program runs: make it again so that the next save can
    // write the file, and take the standard numbers into the fields (not into the edits).
    if (!QFileInfo(SystemFolder()).isDir()) {
        CreateNewFolder(SystemFolder());
        const TSettingsValues standard = StandardSettings(edited_);
        edited_.PingTimeOutValue = standard.PingTimeOutValue;
        edited_.PingIntervalValue = standard.PingIntervalValue;
        edited_.PingBufferSizeValue = standard.PingBufferSizeValue;
        edited_.PingTTLValue = standard.PingTTLValue;
        edited_.PingNBSautValue = standard.PingNBSautValue;
        edited_.PingRetriesNoValue = standard.PingRetriesNoValue;
    }
}

void TSystemSettings::ShowValues(const TSettingsValues &values) {
    edited_ = values;
    PingTimeOut->setText(QString::number(values.PingTimeOutValue));
    PingBufferSize->setText(QString::number(values.PingBufferSizeValue));
    PingTTL->setText(QString::number(values.PingTTLValue));
    PingRetries->setText(QString::number(values.PingRetriesNoValue));
    PingInterval->setText(QString::number(values.PingIntervalValue));
    PingRate->setText(QString::number(values.PingRateValue));
    WatchDownAfter->setText(QString::number(values.WatchDownAfterValue));
    WatchNotifications->setChecked(values.WatchNotificationsValue != 0);
    PingGraphColor->SetSelectedColor(values.GraphColor);
    PingResultsColor->SetSelectedColor(values.ResultsColor);
    PingDebugColor->SetSelectedColor(values.DebugColor);
    PingInfoColor->SetSelectedColor(values.InfoColor);
    MapProviderBox->setCurrentIndex(values.MapChoice == TMapChoice::OpenStreetMap ? 1 : 0);
    GeolocationServiceCheck->setChecked(values.AskGeolocationService);
    ColoredText();
    SetSeriesColor(values.GraphColor);
}

void TSystemSettings::LoadPingSettingsActionExecute() {
    model_->Load();
}

void TSystemSettings::SavePingSettingsActionExecute() {
    model_->Apply(edited_);
}

QString TSystemSettings::StoredMapKey() const {
    return model_->MapKey();
}

void TSystemSettings::SetStandardSettingsActionExecute() {
    ShowValues(StandardSettings(edited_));
}

QColor TSystemSettings::ProcessGraphSeriesColor() const {
    return ToQColor(edited_.GraphColor);
}

void TSystemSettings::SetSeriesColor(TColor color) {
    QColor drawn = ToQColor(color);
    drawn.setAlpha(drawn.alpha() * kSeriesAlpha / 255);
    preview_->SetColor(drawn);
}

int TSystemSettings::SelectedValueDown(QLineEdit *SelectedEdit, int CurrentValue, int MinValue,
                                       int Step) {
    const int result = SpinStepDown(CurrentValue, MinValue, Step);
    SelectedEdit->setText(QString::number(result));
    return result;
}

int TSystemSettings::SelectedValueUp(QLineEdit *SelectedEdit, int CurrentValue, int MaxValue,
                                     int Step) {
    const int result = SpinStepUp(CurrentValue, MaxValue, Step);
    SelectedEdit->setText(QString::number(result));
    return result;
}

void TSystemSettings::Spin(QLineEdit *edit, qint32 TSettingsValues::*field, const TSpinRange &range,
                           bool up) {
    edited_.*field = up ? SelectedValueUp(edit, edited_.*field, range.Max, range.Step)
                        : SelectedValueDown(edit, edited_.*field, range.Min, range.Step);
}

void TSystemSettings::PingTimeOutButtonDownClick() {
    Spin(PingTimeOut, &TSettingsValues::PingTimeOutValue, kTimeOutRange, false);
}

void TSystemSettings::PingTimeOutButtonUpClick() {
    Spin(PingTimeOut, &TSettingsValues::PingTimeOutValue, kTimeOutRange, true);
}

void TSystemSettings::BufferSizeDownClick() {
    Spin(PingBufferSize, &TSettingsValues::PingBufferSizeValue, kBufferSizeRange, false);
}

void TSystemSettings::BufferSizeUpClick() {
    Spin(PingBufferSize, &TSettingsValues::PingBufferSizeValue, kBufferSizeRange, true);
}

void TSystemSettings::TTLDownClick() {
    Spin(PingTTL, &TSettingsValues::PingTTLValue, kTTLRange, false);
}

void TSystemSettings::TTLUpClick() {
    Spin(PingTTL, &TSettingsValues::PingTTLValue, kTTLRange, true);
}

void TSystemSettings::RetriesNoDownClick() {
    Spin(PingRetries, &TSettingsValues::PingRetriesNoValue, kRetriesRange, false);
}

void TSystemSettings::RetriesNoUpClick() {
    Spin(PingRetries, &TSettingsValues::PingRetriesNoValue, kRetriesRange, true);
}

void TSystemSettings::IntervalDownClick() {
    Spin(PingInterval, &TSettingsValues::PingIntervalValue, kIntervalRange, false);
}

void TSystemSettings::IntervalUpClick() {
    Spin(PingInterval, &TSettingsValues::PingIntervalValue, kIntervalRange, true);
}

void TSystemSettings::RateDownClick() {
    Spin(PingRate, &TSettingsValues::PingRateValue, kRateRange, false);
}

void TSystemSettings::RateUpClick() {
    Spin(PingRate, &TSettingsValues::PingRateValue, kRateRange, true);
}

void TSystemSettings::DownAfterDownClick() {
    Spin(WatchDownAfter, &TSettingsValues::WatchDownAfterValue, kDownAfterRange, false);
}

void TSystemSettings::DownAfterUpClick() {
    Spin(WatchDownAfter, &TSettingsValues::WatchDownAfterValue, kDownAfterRange, true);
}

void TSystemSettings::ColoredText() {
    TextColorMemo->clear();
    QTextCursor cursor(TextColorMemo->document());
    const auto colored = [](TColor color) {
        QTextCharFormat format;
        format.setForeground(ToQColor(color));
        return format;
    };
    cursor.insertText(QStringLiteral("Results Color ..."),
                      colored(PingResultsColor->SelectedColor()));
    cursor.insertBlock(QTextBlockFormat(), colored(PingDebugColor->SelectedColor()));
    cursor.insertText(QStringLiteral("Address List Color ..."));
    cursor.insertBlock(QTextBlockFormat(), colored(PingInfoColor->SelectedColor()));
    cursor.insertText(QStringLiteral("Address Information Color ..."));
    // The last two lines keep the control's own text colour.
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.insertText(QStringLiteral("Text Default Color ..."), QTextCharFormat());
}

void TSystemSettings::PingGraphColorSelect() {
    edited_.GraphColor = PingGraphColor->SelectedColor();
    SetSeriesColor(edited_.GraphColor);
}
void TSystemSettings::PingResultsColorSelect() {
    edited_.ResultsColor = PingResultsColor->SelectedColor();
    ColoredText();
}
void TSystemSettings::PingDebugColorSelect() {
    edited_.DebugColor = PingDebugColor->SelectedColor();
    ColoredText();
}
void TSystemSettings::PingInfoColorSelect() {
    edited_.InfoColor = PingInfoColor->SelectedColor();
    ColoredText();
}

void TSystemSettings::OKActionExecute() {
    SavePingSettingsActionExecute();  // throws on failure, so the window stays open
    done(1);
}

void TSystemSettings::CancelActionExecute() {
    done(2);
}

void TSystemSettings::reject() {
    CancelActionExecute();
}
