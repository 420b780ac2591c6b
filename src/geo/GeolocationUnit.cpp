#include "geo/GeolocationUnit.h"

#include "common/WindowOpening.h"
#include "common/WindowPlacement.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSet>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "common/BlockingCall.h"
#include "common/CommandGuard.h"
#include "common/DesktopOpen.h"
#include "common/Errors.h"
#include "common/HttpClient.h"
#include "common/ThreadHandOver.h"
#include "common/WindowLook.h"
#include "geo/MapPage.h"
#include "geo/MapScheme.h"
#include "geo/PageTemplates.h"

namespace {

// The map's page. A link on it (the map data's copyright in the corner of the OpenStreetMap
// page, the terms of the Google map) opens in the desktop's browser: followed inside the window
// it would take the map away.
class TMapWebPage final : public QWebEnginePage {
  public:
    TMapWebPage(QWebEngineProfile *profile, QObject *parent) : QWebEnginePage(profile, parent) {}

  protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override {
        if (type == NavigationTypeLinkClicked &&
            (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"))) {
            OpenInDesktop(url);
            return false;
        }
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
};

// Asking for the map script again to learn why the browser could not load it: room for the
// whole script (the real one is a few hundred KiB).
constexpr TExchangeLimits kMapScriptProbeLimits{30000, 60000, 8 * kMiB};

}  // namespace

TGeolocationForm::TGeolocationForm(QWidget *parent, TMapWindowState *shared)
    : QDialog(parent),
      StartGeolocation(shared != nullptr ? shared->StartGeolocation : ownState_.StartGeolocation),
      ShowRoute(shared != nullptr ? shared->ShowRoute : ownState_.ShowRoute),
      GoogleKey(shared != nullptr ? shared->GoogleKey : ownState_.GoogleKey),
      PreferOpenStreetMap(shared != nullptr ? shared->PreferOpenStreetMap
                                            : ownState_.PreferOpenStreetMap) {
    setObjectName(QStringLiteral("GeolocationForm"));
    setWindowTitle(QStringLiteral("Address Geolocation"));
    resize(684, 441);
    setMinimumSize(520, 320);
    PaintDark(this);

    AddressPanel = new QWidget(this);
    AddressPanel->setObjectName(QStringLiteral("AddressPanel"));
    auto *top = new QHBoxLayout(AddressPanel);
    top->setContentsMargins(6, 4, 6, 4);
    AddressLabel =
        NewLabel(AddressPanel, QStringLiteral("AddressLabel"), QStringLiteral("Google API key"));
    GoogleKeyEdit = new QLineEdit(AddressPanel);
    GoogleKeyEdit->setObjectName(QStringLiteral("GoogleKeyEdit"));
    GoogleKeyEdit->setFixedWidth(265);
    AddAPIKeyButton = new QToolButton(AddressPanel);
    AddAPIKeyButton->setObjectName(QStringLiteral("AddAPIKeyButton"));
    AddAPIKeyButton->setFixedSize(20, 20);
    AddAPIKeyButton->setText(QStringLiteral("+"));
    AddAPIKeyButton->setToolTip(QStringLiteral("Add Google API key ..."));
    FlagCheck = new QCheckBox(QStringLiteral("Use flag marker"), AddressPanel);
    FlagCheck->setObjectName(QStringLiteral("FlagCheck"));
    top->addWidget(AddressLabel);
    top->addWidget(GoogleKeyEdit);
    top->addWidget(AddAPIKeyButton);
    top->addStretch(1);
    top->addWidget(FlagCheck);

    NoticeLabel = new QLabel(this);
    NoticeLabel->setObjectName(QStringLiteral("NoticeLabel"));
    // Error texts come from outside (servers, the network): shown as text, never as markup.
    NoticeLabel->setTextFormat(Qt::PlainText);
    NoticeLabel->setWordWrap(true);
    NoticeLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    NoticeLabel->setContentsMargins(8, 4, 8, 4);
    SetTextColor(NoticeLabel, QColor(230, 170, 60));
    NoticeLabel->setVisible(false);

    auto *browserArea = new QWidget(this);
    browserArea->setObjectName(QStringLiteral("BrowserPanel"));
    browserLayout_ = new QVBoxLayout(browserArea);
    browserLayout_->setContentsMargins(0, 0, 0, 0);

    auto *bottom = new QWidget(this);
    auto *bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(6, 2, 6, 2);
    QLabel *brand = NewLabel(bottom, QString(), QStringLiteral("TX Geolocation"));
    SetTextColor(brand, LookMediumGreyText());
    LookupProgress = new QProgressBar(bottom);
    LookupProgress->setObjectName(QStringLiteral("LookupProgress"));
    LookupProgress->setFixedHeight(14);
    LookupProgress->setVisible(false);
    bottomLayout->addWidget(LookupProgress, 1);
    bottomLayout->addStretch(1);
    bottomLayout->addWidget(brand);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(AddressPanel);
    layout->addWidget(NoticeLabel);
    layout->addWidget(browserArea, 1);
    layout->addWidget(bottom);

    lookup_ = new TBackgroundCall(this);
    probe_ = new TBackgroundCall(this);

    connect(AddAPIKeyButton, &QToolButton::clicked, this,
            [this] { RunCommand(this, [this] { AddAPIKeyButtonClick(); }); });
    connect(GoogleKeyEdit, &QLineEdit::returnPressed, this,
            [this] { RunCommand(this, [this] { GoogleKeyEditKeyPress(QLatin1Char('\r')); }); });
    connect(FlagCheck, &QCheckBox::clicked, this,
            [this] { RunCommand(this, [this] { FlagCheckClick(); }); });
}

TGeolocationForm::~TGeolocationForm() {
    // A profile must outlive its pages.
    delete WB;
    WB = nullptr;
}

int TGeolocationForm::Execute() {
    CenterOnScreen(this);
    SetBusy(true);
    const int result = ExecBlockingOtherWindows(this);
    SetBusy(false);
    return result;
}

void TGeolocationForm::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!IsWindowOpening(event)) {
        return;
    }
    EnsureBrowser();
    // Queued, so that the window is on screen before the lookups start.
    QTimer::singleShot(0, this, [this] { RunCommand(this, [this] { FormShow(); }); });
}

void TGeolocationForm::EnsureBrowser() {
    if (WB != nullptr) {
        return;
    }
    // A profile of the window's own (kept in memory only), so that only its pages reach the map
    // scheme: the help window's web pages cannot load the map page with the pinged addresses.
    profile_ = new QWebEngineProfile(this);
    // Tile servers ask that a program says who it is (OpenStreetMap's tile policy).
    const QString version = QCoreApplication::applicationVersion();
    profile_->setHttpUserAgent(profile_->httpUserAgent() + QStringLiteral(" Tarvex") +
                               (version.isEmpty() ? QString() : QLatin1Char('/') + version));
    scheme_ = new TMapSchemeHandler(profile_);
    profile_->installUrlSchemeHandler(kMapScheme, scheme_);
    WB = new QWebEngineView(this);
    WB->setObjectName(QStringLiteral("WB"));
    WB->setPage(new TMapWebPage(profile_, WB));
    QWebEngineSettings *settings = WB->settings();
    // The map script runs on the page and loads what it needs from the web; nothing on the
    // page, the script of whoever serves or alters it included, may read local files.
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    browserLayout_->addWidget(WB);
    connect(WB, &QWebEngineView::loadFinished, this, [this] { WBDocumentComplete(); });
    connect(WB->page(), &QWebEnginePage::loadingChanged, this,
            [this](const QWebEngineLoadingInfo &info) {
                if (publicMap_.isEmpty() || info.url() != publicMap_) {
                    return;
                }
                if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus) {
                    AddNotice(LoadFailureNotice(QStringLiteral("The public map"),
                                                publicMap_.toString(), info.errorString()));
                }
                if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus) {
                    publicMap_.clear();
                }
            });
    connect(WB->page(), &QWebEnginePage::titleChanged, this, [this](const QString &title) {
        // Queued: the reason is looked up outside the engine's signal.
        QTimer::singleShot(0, this, [this, title] {
            RunCommand(this, [this, title] { PageTitleChanged(title); });
        });
    });
}

void TGeolocationForm::ClearNotices() {
    notices_.clear();
    NoticeLabel->clear();
    NoticeLabel->setVisible(false);
}

void TGeolocationForm::AddNotice(const QString &text) {
    if (notices_.contains(text)) {
        return;
    }
    notices_ << text;
    NoticeLabel->setText(notices_.join(QLatin1Char('\n')));
    NoticeLabel->setVisible(true);
}

void TGeolocationForm::PageTitleChanged(const QString &title) {
    if (title == QLatin1String(kMapKeyRefusedTitle)) {
        AddNotice(KeyRefusedNotice());
    } else if (title == QLatin1String(kTilesFailedTitle)) {
        AddNotice(TilesFailedNotice(TileUrlTemplate()));
    } else if (title == QLatin1String(kMapScriptFailedTitle)) {
        ExplainMapScriptFailure();
    }
}

void TGeolocationForm::ExplainMapScriptFailure() {
    // The browser does not say why; the program's own client asks the same address, off the
    // window's thread, and the notice comes when it has its answer.
    const QString url = MapScriptUrl(GoogleKey);
    probe_->Cancel();
    probe_->Start(
        [this, url](const TCancelSignal &cancel) -> TBackgroundCall::TStep {
            QString reason = QStringLiteral(
                "the address answers, but the browser could not load or run the "
                "script");
            try {
                HttpGetText(url, kMapScriptProbeLimits, &cancel);
            } catch (const std::exception &error) {
                reason = ErrorText(error);
            }
            return [this, reason] {
                AddNotice(LoadFailureNotice(QStringLiteral("The map script"), MapScriptShownUrl(),
                                            reason));
            };
        },
        [this](const TBackgroundCall::TStep &step) { RunCommand(this, step); });
}

void TGeolocationForm::SetSettingsStore(std::function<void()> load, std::function<void()> save) {
    loadSettings_ = std::move(load);
    saveSettings_ = std::move(save);
}

void TGeolocationForm::SetAddressSource(std::function<QStringList()> addressLines) {
    addressLines_ = std::move(addressLines);
}

void TGeolocationForm::SetPlaceLookup(TPlaceLookup lookup) {
    placeLookup_ = std::move(lookup);
}

void TGeolocationForm::FormShow() {
    ClearNotices();
    GoogleKey.clear();
    if (loadSettings_) {
        loadSettings_();
    }
    GoogleKeyEdit->setText(GoogleKey);
    if (GoogleKey.isEmpty() && !PreferOpenStreetMap) {
        AddNotice(MissingKeyNotice());
    }
    if (!StartGeolocation) {
        // Nothing pinged yet: the world on OpenStreetMap when the settings choose it, else the
        // provider's public map page; nobody is asked about any address.
        if (PreferOpenStreetMap) {
            AddressesGeolocation(BuildProviderPage(TMapProvider::OpenStreetMap, {},
                                                   FlagCheck->isChecked(), GoogleKey, {}));
        } else {
            ShowPublicMap();
        }
        return;
    }
    ResultsGeolocationActionExecute();
}

TMapProvider TGeolocationForm::Provider() const {
    return GoogleKey.isEmpty() || PreferOpenStreetMap ? TMapProvider::OpenStreetMap
                                                      : TMapProvider::Google;
}

void TGeolocationForm::ShowPublicMap() {
    EnsureBrowser();
    publicMap_ = QUrl(PublicMapUrl());
    WB->setUrl(publicMap_);
}

QString TGeolocationForm::GetAddress(const QString &S) const {
    return PaneLineAddress(S);
}

QString TGeolocationForm::GetIPAddress(const QString &S) const {
    return PaneLineIPv4(S);
}

void TGeolocationForm::ResultsGeolocationActionExecute() {
    if (!placeLookup_) {
        throw TxError(QStringLiteral("The data module is not available."));
    }
    if (lookup_->IsBusy()) {
        return;  // the page of the lookups under way is built as the window is when they end
    }
    ClearNotices();
    if (GoogleKey.isEmpty() && !PreferOpenStreetMap) {
        AddNotice(MissingKeyNotice());
    }
    const TMapProvider provider = Provider();
    if (provider == TMapProvider::OpenStreetMap &&
        !QFileInfo::exists(LeafletFolder() + QStringLiteral("/leaflet.js"))) {
        AddNotice(MissingLeafletNotice());
    }
    const QStringList lines = addressLines_ ? addressLines_() : QStringList();
    QStringList addresses;
    addresses.reserve(lines.size());
    for (const QString &line : lines) {
        addresses << PaneLineIPv4(line);
    }
    // Every distinct address once, several at a time; lines of the same address share its answer.
    // The reports come from the lookups' threads: each goes to this window's thread, where it
    // counts only while its own lookup goes on.
    const int generation = ++lookups_;
    TBackgroundCall *call = lookup_;
    const auto progress = [this, call, generation](int done, int total) {
        PostCall(call, [this, generation, done, total] {
            if (generation == lookups_ && lookup_->IsBusy()) {
                ShowLookupProgress(done, total);
            }
        });
    };
    TPlaceQuery query = placeLookup_(addresses, progress);
    lookup_->Start(
        [this, query, lines, addresses](const TCancelSignal &cancel) -> TBackgroundCall::TStep {
            QHash<QString, TMapPlace> places = query(cancel);
            return [this, lines, addresses, places] { PlacesLocated(lines, addresses, places); };
        },
        [this](const TBackgroundCall::TStep &step) {
            LookupProgress->setVisible(false);
            RunCommand(this, [this, &step] {
                try {
                    step();
                } catch (...) {
                    SetBusy(false);  // no page comes to clear it
                    throw;
                }
            });
        });
}

void TGeolocationForm::PlacesLocated(const QStringList &lines, const QStringList &addresses,
                                     QHash<QString, TMapPlace> places) {
    // Every address that the service did not locate, counted once: those left without a marker,
    // and those placed in their country instead. The first one's error is shown whole.
    int failed = 0;
    int approximate = 0;
    QString firstFailure;
    QString firstApproximate;
    QSet<QString> counted;
    for (const QString &address : addresses) {
        if (counted.contains(address)) {
            continue;
        }
        counted.insert(address);
        const TMapPlace &place = places[address];
        if (place.Error.isEmpty()) {
            continue;
        }
        if (place.Approximate) {
            if (approximate++ == 0) {
                firstApproximate = address;
            }
        } else if (failed++ == 0) {
            firstFailure = address;
        }
    }
    if (failed > 0) {
        const TMapPlace &first = places[firstFailure];
        AddNotice(LookupFailureNotice(failed, counted.size(), first.Request, first.Error));
    }
    if (approximate > 0) {
        const TMapPlace &first = places[firstApproximate];
        AddNotice(CountryFallbackNotice(approximate, counted.size(), first.Request, first.Error));
    }
    for (const TMapPlace &place : std::as_const(places)) {
        if (!place.Note.isEmpty()) {
            AddNotice(place.Note);
        }
    }
    const auto placeOf = [&places](const QString &ip) { return places.value(ip); };
    const QString page =
        BuildProviderPage(Provider(), lines, FlagCheck->isChecked(), GoogleKey, placeOf, ShowRoute);
    AddressesGeolocation(page);
}

bool TGeolocationForm::IsLocating() const {
    return lookup_->IsBusy();
}

bool TGeolocationForm::CancelLocating() {
    if (!lookup_->Cancel()) {
        return false;
    }
    LookupProgress->setVisible(false);
    AddNotice(LookupCancelledNotice());
    // The map itself is still worth having: the pane's lines, none of them placed.
    const QStringList lines = addressLines_ ? addressLines_() : QStringList();
    AddressesGeolocation(BuildProviderPage(
        Provider(), lines, FlagCheck->isChecked(), GoogleKey,
        [](const QString &) { return TMapPlace(); }, ShowRoute));
    return true;
}

void TGeolocationForm::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier &&
        CancelLocating()) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TGeolocationForm::done(int result) {
    // Nobody is left to see the places, nor why the map script failed.
    lookup_->Cancel();
    probe_->Cancel();
    LookupProgress->setVisible(false);
    QDialog::done(result);
}

void TGeolocationForm::AddressesGeolocation(const QString &HTMLCode) {
    EnsureBrowser();
    scheme_->SetPage(HTMLCode.toUtf8());
    // A new address each time, so that the browser asks for the new page.
    QUrl url = MapPageUrl();
    url.setQuery(QStringLiteral("build=%1").arg(++pageBuilds_));
    WB->setUrl(url);
}

void TGeolocationForm::ShowLookupProgress(int done, int total) {
    LookupProgress->setRange(0, total);
    LookupProgress->setValue(done);
    LookupProgress->setFormat(QStringLiteral("Locating addresses: %v of %m"));
    LookupProgress->setVisible(total > 0 && done < total);
}

void TGeolocationForm::AddAPIKeyButtonClick() {
    GoogleKey = GoogleKeyEdit->text();
    if (saveSettings_) {
        saveSettings_();
    }
}

void TGeolocationForm::GoogleKeyEditKeyPress(QChar Key) {
    if (Key == QLatin1Char('\r')) {
        AddAPIKeyButtonClick();
    }
}

void TGeolocationForm::FlagCheckClick() {
    SetBusy(true);
    try {
        ResultsGeolocationActionExecute();
    } catch (...) {
        SetBusy(false);  // no page comes to clear it
        throw;
    }
}

void TGeolocationForm::WBDocumentComplete() {
    SetBusy(false);
}

void TGeolocationForm::SetBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}
