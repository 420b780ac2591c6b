// Cost of one echo request to 127.0.0.1. Compare with iputils on the same machine:
//   ping -c 1000 -i 0 -q 127.0.0.1   (the "rtt ... avg" figure and the total time / 1000)
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "common/BlockingCall.h"
#include "common/Errors.h"
#include "ping/EchoService.h"

namespace {

// ping's default payload, so the figures compare with iputils.
const TEchoQuery kQuery{QStringLiteral("127.0.0.1"), 56, 1000};

std::unique_ptr<TIcmpEchoService> Open(benchmark::State &state, TIcmpSocketKind kind) {
    try {
        return std::make_unique<TIcmpEchoService>(kind);
    } catch (const TxError &error) {
        state.SkipWithError(error.what());
        return nullptr;
    }
}

void Check(benchmark::State &state, const std::optional<TPingReply> &reply) {
    if (!reply || reply->StatusCode != std::optional<qint32>(0)) {
        state.SkipWithError("127.0.0.1 did not answer");
    }
}

void BM_EchoLoopback(benchmark::State &state) {
    const auto service = Open(state, TIcmpSocketKind::Automatic);
    if (!service) {
        return;
    }
    for (auto _ : state) {
        const std::optional<TPingReply> reply = service->ExecQuery(kQuery);
        Check(state, reply);
        benchmark::DoNotOptimize(reply);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(service->Kind() == TIcmpSocketKind::Raw ? "raw socket" : "datagram socket");
}
BENCHMARK(BM_EchoLoopback)->UseRealTime();

// The same request as a run makes it: on a worker thread while the caller waits in a local
// event loop.
void BM_EchoLoopbackThroughRunBlocking(benchmark::State &state) {
    const auto service = Open(state, TIcmpSocketKind::Automatic);
    if (!service) {
        return;
    }
    for (auto _ : state) {
        const std::optional<TPingReply> reply =
            RunBlocking([&service] { return service->ExecQuery(kQuery); });
        Check(state, reply);
        benchmark::DoNotOptimize(reply);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EchoLoopbackThroughRunBlocking)->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
