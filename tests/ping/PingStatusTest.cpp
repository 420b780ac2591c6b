#include <gtest/gtest.h>

#include "PingTestDoubles.h"
#include "ping/EchoService.h"
#include "ping/PingStatus.h"

TEST(PingStatus, GivesTheTextOfEveryCodeAndUnknownForTheRest) {
    const struct {
        qint32 code;
        const char *text;
    } rows[] = {
        {0, "Success"},
        {11001, "Buffer Too Small"},
        {11002, "Destination Net Unreachable"},
        {11003, "Destination Host Unreachable"},
        {11004, "Destination Protocol Unreachable"},
        {11005, "Destination Port Unreachable"},
        {11006, "No Resources"},
        {11007, "Bad Option"},
        {11008, "Hardware Error"},
        {11009, "Packet Too Big"},
        {11010, "Request Timed Out"},
        {11011, "Bad Request"},
        {11012, "Bad Route"},
        {11013, "TimeToLive Expired Transit"},
        {11014, "TimeToLive Expired Reassembly"},
        {11015, "Parameter Problem"},
        {11016, "Source Quench"},
        {11017, "Option Too Big"},
        {11018, "Bad Destination"},
        {11032, "Negotiating IPSEC"},
        {11050, "General Failure"},
        // the gaps of the table and its surroundings
        {11019, "Unknown"},
        {11031, "Unknown"},
        {11033, "Unknown"},
        {11040, "Unknown"},
        {11049, "Unknown"},
        {11051, "Unknown"},
        {11000, "Unknown"},
        {1, "Unknown"},
        {-1, "Unknown"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(PingStatus(row.code), QString::fromLatin1(row.text)) << row.code;
    }
}

TEST(EchoQuery, QuotesTheAddressAsTypedAndDoublesSingleQuotes) {
    const struct {
        const char *address;
        const char *query;
    } rows[] = {
        {"10.0.0.1",
         "SELECT * FROM Win32_PingStatus where Address='10.0.0.1' AND BufferSize=32 AND "
         "TimeOut=4000"},
        {"alpha",
         "SELECT * FROM Win32_PingStatus where Address='alpha' AND BufferSize=32 AND "
         "TimeOut=4000"},
        {"o'host",
         "SELECT * FROM Win32_PingStatus where Address='o''host' AND BufferSize=32 AND "
         "TimeOut=4000"},
        {"  lead",
         "SELECT * FROM Win32_PingStatus where Address='  lead' AND BufferSize=32 AND "
         "TimeOut=4000"},
        {"", "SELECT * FROM Win32_PingStatus where Address='' AND BufferSize=32 AND TimeOut=4000"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(EchoQueryText(QString::fromUtf8(row.address), 32, 4000),
                  QString::fromUtf8(row.query));
    }
}

TEST(ReplyLine, ClassifiesEachOutcome) {
    const struct {
        const char *name;
        std::optional<TPingReply> reply;
        TReplyKind kind;
        const char *line;
    } rows[] = {
        {"1 ms", Reply(1), TReplyKind::Received,
         "Reply from 10.0.0.1;  Bytes=32  Time=1 ms  TTL=57"},
        {"0 ms", Reply(0), TReplyKind::ReceivedFast,
         "Reply from 10.0.0.1:  Bytes=32  Time=<1 ms  TTL=57"},
        {"null status", Failure(std::nullopt, QString()), TReplyKind::Failed,
         "Reply from no.such.host: Error processing request"},
        {"time-out", Failure(11010), TReplyKind::Failed, "Reply from 192.0.2.1: Request Timed Out"},
        {"code without text", Failure(11040), TReplyKind::Failed, "Reply from 192.0.2.1: Unknown"},
        {"no object", std::nullopt, TReplyKind::NoObject, ""},
        {"percent signs stay", Reply(7, QStringLiteral("%2%1")), TReplyKind::Received,
         "Reply from %2%1;  Bytes=32  Time=7 ms  TTL=57"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(ClassifyReply(row.reply), row.kind) << row.name;
        EXPECT_EQ(ReplyLine(row.reply, QStringLiteral("no.such.host")),
                  QString::fromLatin1(row.line))
            << row.name;
    }
}
