#include "common/Errors.h"
#include "ping/EchoService.h"
#include "ping/ProbeEngine.h"

TIcmpEchoService::TIcmpEchoService(TIcmpSocketKind kind)
    : engine_(std::make_shared<TProbeEngine>(kind)) {}

TIcmpEchoService::~TIcmpEchoService() = default;

TIcmpSocketKind TIcmpEchoService::Kind() const {
    return engine_->Kind();
}

TIcmpSocketKind TIcmpEchoService::Ipv6Kind() const {
    return engine_->Ipv6Kind();
}

quint16 TIcmpEchoService::Identifier() const {
    return engine_->Identifier();
}

std::optional<TPingReply> TIcmpEchoService::ExecQuery(const TEchoQuery &query) {
    const std::optional<TEchoTarget> target = ResolveEchoTarget(query.Address);
    if (!target) {
        return TPingReply{};  // null status: the request could not be processed
    }
    engine_->CheckFamily(*target->Family);
    return engine_->Exchange(EchoProbe(*target, query.Echo));
}

TProbeRequest EchoProbe(const TEchoTarget &target, const TEchoParameters &echo) {
    TProbeRequest request;
    request.Target = target;
    request.PayloadSize = echo.BufferSize;
    // IPv4 requests leave with the system's default TTL, as they always have, unless the TTL was
    // asked for explicitly.
    request.TimeToLive =
        target.Family == &kEchoIPv6 || echo.TimeToLiveForIpv4 ? echo.TimeToLive : 0;
    request.TimeOutMs = echo.TimeOut;
    return request;
}

std::unique_ptr<TEchoService> ConnectEchoService() {
    return std::make_unique<TIcmpEchoService>();
}

std::unique_ptr<TEchoService> OpenEchoService(const TEchoServiceFactory &connect) {
    std::unique_ptr<TEchoService> service = connect ? connect() : ConnectEchoService();
    if (!service) {
        throw TxError(QStringLiteral("The echo service is not available."));
    }
    return service;
}
