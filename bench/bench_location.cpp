// The offline location database and the OpenStreetMap page: opening the database (what the first
// route hop or map build pays), one lookup (what each route row and each map address pays), and
// building the page of 20,000 located lines.
#include <benchmark/benchmark.h>

#include <QStringList>

#include "geo/MapPage.h"
#include "lookup/LocationDatabase.h"

namespace {

void OpenDatabase(benchmark::State &state) {
    for (auto _ : state) {
        TLocationDatabase database;
        benchmark::DoNotOptimize(database.Available());
    }
}
BENCHMARK(OpenDatabase)->Unit(benchmark::kMillisecond);

void LookUpAddress(benchmark::State &state, const char *address) {
    TLocationDatabase database;
    database.Available();
    const QString text = QString::fromLatin1(address);
    for (auto _ : state) {
        benchmark::DoNotOptimize(database.LookUp(text));
    }
}
BENCHMARK_CAPTURE(LookUpAddress, ipv4, "193.0.6.139")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(LookUpAddress, ipv6, "2001:67c:2e8:22::c100:68b")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(LookUpAddress, private, "192.168.1.1")->Unit(benchmark::kMicrosecond);

void BuildOpenStreetMapPage(benchmark::State &state) {
    QStringList pane;
    for (int i = 0; i < state.range(0); ++i) {
        pane << QStringLiteral("IPv4 - 10.0.%1.%2\t\tAddress - host%3.example")
                    .arg(i % 250)
                    .arg(i / 250)
                    .arg(i);
    }
    const auto placeOf = [](const QString &ip) {
        TMapPlace place;
        place.Latitude = ip.section(QLatin1Char('.'), 2, 2);
        place.Longitude = ip.section(QLatin1Char('.'), 3, 3);
        return place;
    };
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            BuildProviderPage(TMapProvider::OpenStreetMap, pane, false, QString(), placeOf));
    }
}
BENCHMARK(BuildOpenStreetMapPage)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
