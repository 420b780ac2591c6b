#include "cli/HeadlessRun.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QTimer>
#include <chrono>
#include <set>
#include <utility>
#include <vector>

#include "common/DataPaths.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "common/TX_Net.h"
#include "files/ResultFiles.h"
#include "lookup/Geolocation.h"
#include "lookup/Whois.h"
#include "lookup/WhoisZones.h"
#include "ping/ListRun.h"
#include "ping/PingRun.h"
#include "ping/RunModel.h"
#include "ping/RunResults.h"
#include "ping/TraceRun.h"
#include "settings/EngineParameters.h"
#include "settings/Services.h"
#include "settings/SettingsFile.h"

namespace {

// A mistake on the command line or in its input: one line, exit status 2.
class TUsageError final : public std::runtime_error {
  public:
    explicit TUsageError(const QString &message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    QString Message() const { return message_; }

  private:
    QString message_;
};

enum class TFormat { Text, Json, Csv };

// Names of the options; each also has the long or short form of the table below.
const QString kPing = QStringLiteral("ping");
const QString kTrace = QStringLiteral("trace");
const QString kWhois = QStringLiteral("whois");
const QString kLocate = QStringLiteral("locate");
const QString kCount = QStringLiteral("count");
const QString kInterval = QStringLiteral("interval");
const QString kRate = QStringLiteral("rate");
const QString kTimeOut = QStringLiteral("timeout");
const QString kTtl = QStringLiteral("ttl");
const QString kSize = QStringLiteral("size");
const QString kFile = QStringLiteral("file");
const QString kFormat = QStringLiteral("format");
const QString kSettings = QStringLiteral("settings");

// Geolocation look-ups at once, as the map window makes them.
constexpr int kParallelLocations = 4;
// How often a waiting run asks whether it is to stop.
constexpr std::chrono::milliseconds kStopPoll{10};
// Milliseconds between the requests to an address when -i is not given: ping's and fping's
// second, which a script expects of a ping from the command line.
constexpr int kStandardPingInterval = 1000;

struct TOptions {
    TFormat Format = TFormat::Text;
    QStringList Addresses;
    TEchoParameters Echo;
    int Interval = 0;
    bool IntervalGiven = false;
    int SettingsInterval = 300;
    int Rate = 0;
};

// The value of a numeric option in [min, max]; `fallback` when it is not given.
int NumberOption(const QCommandLineParser &parser, const QString &name, const QString &what,
                 int min, int max, int fallback) {
    if (!parser.isSet(name)) {
        return fallback;
    }
    const QString text = parser.value(name);
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok || value < min || value > max) {
        throw TUsageError(QStringLiteral("%1 must be a whole number from %2 to %3, not '%4'.")
                              .arg(what)
                              .arg(min)
                              .arg(max)
                              .arg(text));
    }
    return static_cast<int>(value);
}

QStringList ListFileAddresses(const QString &path) {
    QStringList addresses;
    QStringList lines;
    try {
        lines = ReadAddressList(path);
    } catch (const TxError &error) {
        throw TUsageError(error.Message());
    }
    // Blank lines and comments ("#") are no addresses, as fping reads a list.
    for (const QString &line : std::as_const(lines)) {
        const QString address = line.trimmed();
        if (!address.isEmpty() && !address.startsWith(QLatin1Char('#'))) {
            addresses << address;
        }
    }
    return addresses;
}

// The settings file's values (the standard set without one), and its service addresses.
TSettingsValues LoadSettings(const QCommandLineParser &parser) {
    TSettingsValues values = StandardSettings(TSettingsValues());
    QHash<QString, QString> services;
    const bool given = parser.isSet(kSettings);
    const QString path = given ? parser.value(kSettings) : SettingsFilePath();
    try {
        if (!LoadSettingsFile(path, &values, &services) && given) {
            throw TUsageError(QStringLiteral("The settings file \"%1\" does not exist.").arg(path));
        }
    } catch (const TxError &error) {
        throw TUsageError(error.Message());
    }
    SetServiceSettings(services);
    return values;
}

TOptions ReadOptions(const QCommandLineParser &parser) {
    const QStringList modes = {kPing, kTrace, kWhois, kLocate};
    QStringList chosen;
    for (const QString &mode : modes) {
        if (parser.isSet(mode)) {
            chosen << QStringLiteral("--") + mode;
        }
    }
    if (chosen.isEmpty()) {
        throw TUsageError(
            QStringLiteral("The options of a run without a window need --ping, --trace, --whois "
                           "or --locate."));
    }
    if (chosen.size() > 1) {
        throw TUsageError(QStringLiteral("%1 cannot go together; choose one.")
                              .arg(chosen.join(QStringLiteral(" and "))));
    }
    const bool ping = parser.isSet(kPing);
    const bool trace = parser.isSet(kTrace);
    const QString mode = chosen.first();
    // Which options each run takes.
    const QList<std::pair<QString, QString>> echoOptions = {
        {kCount, QStringLiteral("-c")},   {kInterval, QStringLiteral("-i")},
        {kTimeOut, QStringLiteral("-W")}, {kSize, QStringLiteral("-s")},
        {kTtl, QStringLiteral("-t")},     {kFile, QStringLiteral("--file")},
        {kRate, QStringLiteral("--rate")}};
    for (const auto &[name, shown] : echoOptions) {
        const bool takes = ping || (trace && name != kTtl && name != kFile && name != kRate);
        if (parser.isSet(name) && !takes) {
            throw TUsageError(QStringLiteral("%1 does not go with %2.").arg(shown, mode));
        }
    }

    TOptions options;
    const QString format = parser.value(kFormat);
    if (format == QStringLiteral("text")) {
        options.Format = TFormat::Text;
    } else if (format == QStringLiteral("json")) {
        options.Format = TFormat::Json;
    } else if (format == QStringLiteral("csv")) {
        options.Format = TFormat::Csv;
    } else {
        throw TUsageError(
            QStringLiteral("--format must be text, json or csv, not '%1'.").arg(format));
    }

    options.Addresses = parser.positionalArguments();
    if (parser.isSet(kFile)) {
        options.Addresses << ListFileAddresses(parser.value(kFile));
    }
    if (options.Addresses.isEmpty()) {
        throw TUsageError(
            parser.isSet(kFile)
                ? QStringLiteral("The list \"%1\" holds no address.").arg(parser.value(kFile))
                : QStringLiteral("%1 needs an address.").arg(mode));
    }
    if (trace && options.Addresses.size() > 1) {
        throw TUsageError(QStringLiteral("--trace traces one address at a time."));
    }

    const TSettingsValues settings = LoadSettings(parser);
    const TEngineParameters engine = EngineParameters(settings);
    options.Echo.BufferSize = engine.BufferSize;
    options.Echo.TimeOut = engine.TimeOut;
    options.Echo.Retries = engine.Retries;
    options.Echo.TimeToLive = engine.TTL;
    options.SettingsInterval = engine.Interval;
    options.Echo.Retries = static_cast<quint16>(
        NumberOption(parser, kCount, QStringLiteral("The count (-c)"), 1, 65535, engine.Retries));
    options.Echo.TimeOut = static_cast<quint16>(NumberOption(
        parser, kTimeOut, QStringLiteral("The time-out (-W)"), 1, 65535, engine.TimeOut));
    options.Echo.BufferSize = static_cast<quint16>(
        NumberOption(parser, kSize, QStringLiteral("The size (-s)"), 0, 65507, engine.BufferSize));
    options.Rate =
        NumberOption(parser, kRate, QStringLiteral("The rate (--rate, requests a second)"),
                     kRateRange.Min, kRateRange.Max, engine.Rate);
    options.IntervalGiven = parser.isSet(kInterval);
    options.Interval =
        NumberOption(parser, kInterval, QStringLiteral("The interval (-i)"), 0, 3600000, 0);
    if (parser.isSet(kTtl)) {
        options.Echo.TimeToLive = static_cast<quint16>(
            NumberOption(parser, kTtl, QStringLiteral("The TTL (-t)"), 1, 255, 0));
        options.Echo.TimeToLiveForIpv4 = true;
    }
    return options;
}

void WriteLine(const THeadlessIo &io, const QString &line) {
    io.Out(line.toUtf8() + '\n');
}

void Fail(const THeadlessIo &io, const QString &message) {
    if (io.Error) {
        io.Error(io.Program + QStringLiteral(": ") + message);
    }
}

void WriteTable(const THeadlessIo &io, const QList<QStringList> &rows) {
    QByteArray table;
    for (const QStringList &row : rows) {
        table += CsvRow(row);
    }
    io.Out(table);
}

// ---------------------------------------------------------------------------------------------
// Runs

// The results pane's lines on their way to the standard output. The lines written within a few
// milliseconds of each other (a block, the blocks of a list's addresses that completed together)
// leave in one write rather than a system call each; a reader sees each reply all the same as it
// comes.
class TLineBuffer final {
  public:
    explicit TLineBuffer(const THeadlessIo &io) : io_(io) {}
    ~TLineBuffer() { Flush(); }
    TLineBuffer(const TLineBuffer &) = delete;
    TLineBuffer &operator=(const TLineBuffer &) = delete;

    void Add(const QString &line) {
        if (pending_.isEmpty()) {
            QTimer::singleShot(kGatherMs, &context_, [this] { Flush(); });
        }
        pending_ += line.toUtf8();
        pending_ += '\n';
        if (pending_.size() >= kFlushBytes) {
            Flush();
        }
    }
    void Flush() {
        if (!pending_.isEmpty()) {
            io_.Out(std::exchange(pending_, QByteArray()));
        }
    }

  private:
    static constexpr qsizetype kFlushBytes = 64 * 1024;
    static constexpr int kGatherMs = 10;
    const THeadlessIo &io_;
    QByteArray pending_;
    QObject context_;
};

// A run model as the command line runs it: the lines of the results pane go to the standard
// output as text when the format is text (else nowhere: the data is written at the end), with
// the engine parameters of the options.
void PrepareModel(TRunModel &model, const TOptions &options, const THeadlessIo &io,
                  TLineBuffer &lines) {
    if (io.Connect) {
        model.SetConnect(io.Connect);
    }
    TRunViews views;
    if (options.Format == TFormat::Text) {
        views.DebugLines = [&lines](const QString &line) { lines.Add(line); };
    } else {
        views.DebugLines = [](const QString &) {};
    }
    model.SetViews(views);
    // Beside the results, not among them: a script reads the standard output as it always has.
    QObject::connect(&model, &TRunModel::NoticeGiven, &model,
                     [&io](TRunModel::TKind, const QString &text) { Fail(io, text); });
}

// Waits in an event loop until every run of `model` has ended, asking io.StopRequested every
// few milliseconds meanwhile: true stops the runs as Esc stops them in the window.
void WaitForRuns(TRunModel &model, const THeadlessIo &io) {
    if (model.IsIdle()) {
        return;
    }
    QEventLoop loop;
    QObject::connect(&model, &TRunModel::RunFinished, &loop, [&model, &loop] {
        if (model.IsIdle()) {
            loop.quit();
        }
    });
    QTimer poll;
    if (io.StopRequested) {
        QObject::connect(&poll, &QTimer::timeout, &loop, [&model, &io, &poll] {
            if (io.StopRequested()) {
                poll.stop();
                while (model.StopLast() != TRunModel::TKind::None) {
                }
            }
        });
        poll.start(kStopPoll);
    }
    loop.exec();
}

int RunPing(const TOptions &options, const THeadlessIo &io) {
    TLineBuffer lines(io);
    TRunModel model;
    PrepareModel(model, options, io, lines);
    TRunSettings settings;
    settings.Echo = options.Echo;
    // A request every interval whatever earlier ones still wait for, as ping and fping send: a
    // silent address then takes the time of its requests and one time-out, not a time-out for
    // each request as the window's one-after-another rule would make it.
    settings.RequestInterval = options.IntervalGiven ? options.Interval : kStandardPingInterval;
    settings.Cadence = TRequestCadence::EveryInterval;
    // Every address is pinged; each error is told once.
    settings.ListStopsAtFailure = false;
    settings.Rate = options.Rate;
    model.SetSettings(settings);

    bool unanswered = false;
    bool unresolved = false;
    std::set<QString> failures;
    QObject::connect(&model, &TRunModel::PaneRunKept, [&](const TRunResult &run) {
        // An error line follows the block it belongs to.
        lines.Flush();
        if (!run.Error.isEmpty()) {
            if (failures.insert(run.Error).second) {
                Fail(io, run.Error);
            }
        } else if (PingNameUnresolved(run)) {
            unresolved = true;
            Fail(io, QStringLiteral("%1: the name does not resolve.").arg(run.Target));
        } else if (!RunAnswered(run)) {
            unanswered = true;
        }
    });

    // One address is written as the window's ping command writes it: the header at once, each
    // reply as it comes, the statistics at the end. A list is written as the window's list run
    // writes it: each address's block once it and those before it are complete.
    const bool live = options.Format == TFormat::Text && options.Addresses.size() == 1;
    if (live) {
        model.StartSingle(options.Addresses.first());
    } else {
        model.StartList(options.Addresses);
    }
    WaitForRuns(model, io);
    lines.Flush();

    if (options.Format == TFormat::Json) {
        io.Out(RunResultsJson(model.PaneRuns()));
    } else if (options.Format == TFormat::Csv) {
        io.Out(RunResultsCsv(model.PaneRuns()));
    }
    if (!failures.empty()) {
        return kExitSystemError;
    }
    if (unresolved) {
        return kExitUsage;
    }
    return unanswered ? kExitNotAnswered : kExitAnswered;
}

// The route to one address in rounds (the count) at the interval, written as the window writes
// the route's block once the trace ends.
int RunTrace(const TOptions &options, const THeadlessIo &io) {
    TLineBuffer lines(io);
    TRunModel model;
    PrepareModel(model, options, io, lines);
    TRunSettings settings;
    settings.Echo = options.Echo;
    settings.Interval = options.IntervalGiven ? options.Interval : options.SettingsInterval;
    settings.TraceRounds = options.Echo.Retries;
    model.SetSettings(settings);
    const QString address = options.Addresses.first();
    try {
        model.StartTrace(address);
    } catch (const std::exception &error) {
        Fail(io, ErrorText(error));
        return kExitSystemError;
    }
    WaitForRuns(model, io);
    lines.Flush();
    if (model.PaneRuns().empty()) {
        Fail(io, QStringLiteral("The trace ended without a result."));
        return kExitSystemError;
    }
    TRunResult run = model.PaneRuns().back();
    int status = run.Hops && run.Hops->Reached() ? kExitAnswered : kExitNotAnswered;
    if (!run.Error.isEmpty()) {
        if (run.Resolved.isEmpty() && !ResolveEchoTarget(address)) {
            // As a ping's name that does not resolve: nothing was sent, and the entry says why.
            run.Error = QString::fromLatin1(kNameDoesNotResolve);
            Fail(io, QStringLiteral("%1: the name does not resolve.").arg(address));
            status = kExitUsage;
        } else {
            Fail(io, run.Error);
            status = kExitSystemError;
        }
    }
    if (options.Format == TFormat::Json) {
        io.Out(RunResultsJson({run}));
    } else if (options.Format == TFormat::Csv) {
        io.Out(RunResultsCsv({run}));
    }
    return status;
}

// ---------------------------------------------------------------------------------------------
// WHOIS

int RunWhois(const TOptions &options, const THeadlessIo &io) {
    const QStringList zones = WhoisReplyLines(WhoisZoneTable());
    const QString server = WhoisServerAddress();
    int status = kExitAnswered;
    QJsonArray json;
    QList<QStringList> rows = {{QStringLiteral("kind"), QStringLiteral("target"),
                                QStringLiteral("server"), QStringLiteral("line_no"),
                                QStringLiteral("line")}};
    for (const QString &name : options.Addresses) {
        const bool listed = WhoisZoneListed(zones, WhoisZone(name));
        QString reply;
        QString error;
        if (!listed) {
            reply = QString::fromLatin1(kWhoisNoResults);
            status = qMax(status, kExitNotAnswered);
        } else if (const QString address = GetIP(name);
                   address == QStringLiteral("0.0.0.0") && AddressToResolve(name) != address) {
            // Asking about 0.0.0.0 in its place would print a record that has nothing to do
            // with the name.
            error = QString::fromLatin1(kNameDoesNotResolve);
            Fail(io, QStringLiteral("%1: the name does not resolve.").arg(name));
            status = qMax(status, kExitUsage);
        } else {
            try {
                reply = WhoisServerQuery(server, address);
            } catch (const std::exception &failure) {
                error = ErrorText(failure);
                Fail(io, QStringLiteral("%1: %2").arg(name, error));
                status = qMax(status, kExitNotAnswered);
            }
        }
        const QStringList lines = error.isEmpty() ? WhoisReplyLines(reply) : QStringList();
        if (options.Format == TFormat::Text) {
            if (!error.isEmpty()) {
                continue;
            }
            for (const QString &line : WhoisHeaderLines()) {
                WriteLine(io, line);
            }
            for (const QString &line : lines) {
                WriteLine(io, PaneLineText(FormatWhoisLine(line)));
            }
            continue;
        }
        QJsonObject object;
        object.insert(QStringLiteral("kind"), QStringLiteral("whois"));
        object.insert(QStringLiteral("target"), name);
        object.insert(QStringLiteral("server"), listed ? QJsonValue(server) : QJsonValue());
        object.insert(QStringLiteral("lines"), QJsonArray::fromStringList(lines));
        object.insert(QStringLiteral("error"), error.isEmpty() ? QJsonValue() : QJsonValue(error));
        json.append(object);
        for (int i = 0; i < lines.size(); ++i) {
            // A table has no escape for a NUL or an escape sequence: they are shown instead.
            rows << QStringList{QStringLiteral("whois"), name, listed ? server : QString(),
                                QString::number(i + 1), WhoisVisibleText(lines.at(i))};
        }
    }
    if (options.Format == TFormat::Json) {
        io.Out(ResultsJsonDocument(json));
    } else if (options.Format == TFormat::Csv) {
        WriteTable(io, rows);
    }
    return status;
}

// ---------------------------------------------------------------------------------------------
// Geolocation

int RunLocate(const TOptions &options, const THeadlessIo &io) {
    int status = kExitAnswered;
    // The service locates IPv4 addresses, as the map asks it; a name is asked for by its address.
    QStringList addresses;
    for (const QString &target : options.Addresses) {
        QString address = GetIP(target);
        if (address == QStringLiteral("0.0.0.0") && target.trimmed() != address) {
            address.clear();
        }
        addresses << address;
    }
    QStringList located;
    for (const QString &address : std::as_const(addresses)) {
        if (!address.isEmpty()) {
            located << address;
        }
    }
    const QHash<QString, TGeolocationResult> results =
        LookUpGeolocations(located, kParallelLocations, kGeolocationLimits);

    const QStringList fields = {QStringLiteral("country_code"), QStringLiteral("country_name"),
                                QStringLiteral("region_code"),  QStringLiteral("region_name"),
                                QStringLiteral("city"),         QStringLiteral("zip_code"),
                                QStringLiteral("latitude"),     QStringLiteral("longitude")};
    QJsonArray json;
    QList<QStringList> rows;
    rows
        << (QStringList{QStringLiteral("kind"), QStringLiteral("target"), QStringLiteral("address")}
            << fields << QStringLiteral("error"));
    for (int i = 0; i < options.Addresses.size(); ++i) {
        const QString &target = options.Addresses.at(i);
        const QString &address = addresses.at(i);
        TGeolocationResult result;
        if (address.isEmpty()) {
            result.Error = QStringLiteral("The name does not resolve to an IPv4 address.");
            Fail(io,
                 QStringLiteral("%1: the name does not resolve to an IPv4 address.").arg(target));
            status = kExitUsage;
        } else {
            result = results.value(address);
            if (!result.Error.isEmpty()) {
                Fail(io, QStringLiteral("%1: %2").arg(target, result.Error));
                status = qMax(status, kExitNotAnswered);
            }
        }
        const TGeolocationInfo &info = result.Info;
        const QStringList values = {info.CountryCode, info.CountryName, info.RegionCode,
                                    info.RegionName,  info.City,        info.ZipCode,
                                    info.Latitude,    info.Longitude};
        if (options.Format == TFormat::Text) {
            if (address.isEmpty()) {
                continue;
            }
            WriteLine(io, QStringLiteral("Location of %1 [%2]:").arg(target, address));
            if (!result.Error.isEmpty()) {
                WriteLine(io, PaneLineText(result.Error));
            } else {
                WriteLine(io,
                          QStringLiteral("Country: %1 %2").arg(info.CountryCode, info.CountryName));
                WriteLine(io,
                          QStringLiteral("Region: %1 %2").arg(info.RegionCode, info.RegionName));
                WriteLine(io, QStringLiteral("City: %1").arg(info.City));
                WriteLine(io, QStringLiteral("Zip code: %1").arg(info.ZipCode));
                WriteLine(io, QStringLiteral("Latitude: %1").arg(info.Latitude));
                WriteLine(io, QStringLiteral("Longitude: %1").arg(info.Longitude));
            }
            WriteLine(io, QString());
            continue;
        }
        QJsonObject object;
        object.insert(QStringLiteral("kind"), QStringLiteral("locate"));
        object.insert(QStringLiteral("target"), target);
        object.insert(QStringLiteral("address"), address.isEmpty() ? QJsonValue() : address);
        for (int f = 0; f < fields.size(); ++f) {
            object.insert(fields.at(f), values.at(f));
        }
        object.insert(QStringLiteral("error"),
                      result.Error.isEmpty() ? QJsonValue() : QJsonValue(result.Error));
        json.append(object);
        rows << (QStringList{QStringLiteral("locate"), target, address} << values << result.Error);
    }
    if (options.Format == TFormat::Json) {
        io.Out(ResultsJsonDocument(json));
    } else if (options.Format == TFormat::Csv) {
        WriteTable(io, rows);
    }
    return status;
}

}  // namespace

void AddHeadlessOptions(QCommandLineParser &parser) {
    const auto add = [&parser](const QStringList &names, const QString &description,
                               const QString &valueName = QString(),
                               const QString &defaultValue = QString()) {
        QCommandLineOption option(names, description, valueName, defaultValue);
        parser.addOption(option);
    };
    add({kPing}, QStringLiteral("Ping each address (or each line of --file) without a window; "
                                "many addresses at once."));
    add({kTrace}, QStringLiteral("Trace the route to the address without a window, in -c "
                                 "rounds."));
    add({kWhois}, QStringLiteral("Look each name up in WHOIS without a window."));
    add({kLocate},
        QStringLiteral("Look up where each address is without a window (IPv4, the geolocation "
                       "service)."));
    add({QStringLiteral("c"), kCount},
        QStringLiteral("Requests to each address, or rounds of a trace (settings: Retries No)."),
        QStringLiteral("N"));
    add({QStringLiteral("i"), kInterval},
        QStringLiteral("Milliseconds from one request to an address to its next, whatever "
                       "earlier ones still wait for (default 1000, as ping; 0: each once the one "
                       "before is answered; a trace's rounds: at least 1000)."),
        QStringLiteral("MS"));
    add({kRate},
        QStringLiteral("Requests a second at most, spread evenly over all addresses (settings: "
                       "Rate, standard 2000; 0: no limit)."),
        QStringLiteral("N"));
    add({QStringLiteral("W"), kTimeOut},
        QStringLiteral("Milliseconds to wait for each reply (settings: Time Out)."),
        QStringLiteral("MS"));
    add({QStringLiteral("t"), kTtl},
        QStringLiteral("TTL (IPv4) and hop limit (IPv6) of the requests, 1 to 255."),
        QStringLiteral("TTL"));
    add({QStringLiteral("s"), kSize},
        QStringLiteral("Payload bytes of each request (settings: Buffer Size)."),
        QStringLiteral("BYTES"));
    add({QStringLiteral("f"), kFile},
        QStringLiteral("Ping the addresses of a list file, one a line (blank lines and lines "
                       "starting with # are skipped)."),
        QStringLiteral("LIST"));
    add({kFormat},
        QStringLiteral("Output: text (the results pane's lines, the default), json or csv."),
        QStringLiteral("FORMAT"), QStringLiteral("text"));
    add({kSettings},
        QStringLiteral("Read the settings from FILE instead of the user's settings file."),
        QStringLiteral("FILE"));
}

bool HeadlessRequested(const QCommandLineParser &parser) {
    for (const QString &name : {kPing, kTrace, kWhois, kLocate, kCount, kInterval, kTimeOut, kTtl,
                                kSize, kFile, kFormat, kSettings, kRate}) {
        if (parser.isSet(name)) {
            return true;
        }
    }
    return false;
}

int RunHeadless(const QCommandLineParser &parser, const THeadlessIo &io) {
    TOptions options;
    try {
        options = ReadOptions(parser);
    } catch (const TUsageError &error) {
        Fail(io, error.Message());
        return kExitUsage;
    }
    try {
        if (parser.isSet(kTrace)) {
            return RunTrace(options, io);
        }
        if (parser.isSet(kWhois)) {
            return RunWhois(options, io);
        }
        if (parser.isSet(kLocate)) {
            return RunLocate(options, io);
        }
        return RunPing(options, io);
    } catch (const std::exception &error) {
        Fail(io, ErrorText(error));
        return kExitSystemError;
    }
}
