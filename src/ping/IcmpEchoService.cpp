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
    TProbeRequest request;
    request.Target = *target;
    request.PayloadSize = query.BufferSize;
    // IPv4 requests leave with the system's default TTL, as they always have.
    request.TimeToLive = target->Family == &kEchoIPv6 ? query.TimeToLive : 0;
    request.TimeOutMs = query.TimeOut;
    return engine_->Exchange(request);
}

std::unique_ptr<TEchoService> ConnectEchoService() {
    return std::make_unique<TIcmpEchoService>();
}
