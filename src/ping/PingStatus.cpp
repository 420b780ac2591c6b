#include "ping/PingStatus.h"

QString PingStatus(qint32 PingStatusCode) {
    switch (PingStatusCode) {
        case 0:
            return QStringLiteral("Success");
        case 11001:
            return QStringLiteral("Buffer Too Small");
        case 11002:
            return QStringLiteral("Destination Net Unreachable");
        case 11003:
            return QStringLiteral("Destination Host Unreachable");
        case 11004:
            return QStringLiteral("Destination Protocol Unreachable");
        case 11005:
            return QStringLiteral("Destination Port Unreachable");
        case 11006:
            return QStringLiteral("No Resources");
        case 11007:
            return QStringLiteral("Bad Option");
        case 11008:
            return QStringLiteral("Hardware Error");
        case 11009:
            return QStringLiteral("Packet Too Big");
        case 11010:
            return QStringLiteral("Request Timed Out");
        case 11011:
            return QStringLiteral("Bad Request");
        case 11012:
            return QStringLiteral("Bad Route");
        case 11013:
            return QStringLiteral("TimeToLive Expired Transit");
        case 11014:
            return QStringLiteral("TimeToLive Expired Reassembly");
        case 11015:
            return QStringLiteral("Parameter Problem");
        case 11016:
            return QStringLiteral("Source Quench");
        case 11017:
            return QStringLiteral("Option Too Big");
        case 11018:
            return QStringLiteral("Bad Destination");
        case 11032:
            return QStringLiteral("Negotiating IPSEC");
        case 11050:
            return QStringLiteral("General Failure");
        default:
            return QStringLiteral("Unknown");
    }
}

TReplyKind ClassifyReply(const std::optional<TPingReply> &reply) {
    if (!reply) {
        return TReplyKind::NoObject;
    }
    // A null status is not 0, so it never counts as received.
    if (!reply->StatusCode || *reply->StatusCode != 0) {
        return TReplyKind::Failed;
    }
    return reply->ResponseTime > 0 ? TReplyKind::Received : TReplyKind::ReceivedFast;
}

QString ReplyLine(const std::optional<TPingReply> &reply, const QString &PingAddress) {
    switch (ClassifyReply(reply)) {
        case TReplyKind::NoObject:
            return QString();
        case TReplyKind::Received:
            // One pass of arg() with every value: an address holding "%2" must not be expanded.
            return QStringLiteral("Reply from %1;  Bytes=%2  Time=%3 ms  TTL=%4")
                .arg(reply->ProtocolAddress, QString::number(reply->ReplySize),
                     QString::number(reply->ResponseTime), QString::number(reply->TimeToLive));
        case TReplyKind::ReceivedFast:
            return QStringLiteral("Reply from %1:  Bytes=%2  Time=<1 ms  TTL=%3")
                .arg(reply->ProtocolAddress, QString::number(reply->ReplySize),
                     QString::number(reply->TimeToLive));
        case TReplyKind::Failed:
            break;
    }
    if (!reply->StatusCode) {
        return QStringLiteral("Reply from %1: %2")
            .arg(PingAddress, QStringLiteral("Error processing request"));
    }
    return QStringLiteral("Reply from %1: %2")
        .arg(reply->ProtocolAddress, PingStatus(*reply->StatusCode));
}
