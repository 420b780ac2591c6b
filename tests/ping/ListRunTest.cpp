// List runs: many addresses at once, handed back in list order, written exactly as a run of one
// address after another writes them. Real echo requests inside network namespaces the tests
// create; a scripted service where exact trip times are needed.
#include <gtest/gtest.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QHash>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <random>
#include <thread>

#include "PingTestDoubles.h"
#include "RunPanes.h"
#include "common/Errors.h"
#include "common/TX_Edit.h"
#include "ping/AddressRuns.h"
#include "ping/ListRun.h"
#include "ping/PingRun.h"
#include "support/EchoNamespace.h"
#include "support/RunDrivers.h"
#include "support/TestSupport.h"

namespace {

// The limits of the run that counts what it holds.
constexpr int kInFlight = 8;
constexpr int kAhead = 24;

// What a run leaves behind: both panes with the colour of each line, the charts, the progress,
// and the errors that ended it.
struct RunOutcome : RunPanes {
    QStringList errors;
};

TPingRunInput InputFor(const QString &address, quint16 timeOut = 4000) {
    TPingRunInput input = PingInput(address);
    input.Echo.TimeOut = timeOut;
    return input;
}

// One address after another with StandardPing, stopping at the first error as the list command
// does.
void OneByOne(const QStringList &addresses, const TEchoServiceFactory &connect, RunOutcome &out,
              quint16 timeOut = 4000) {
    out.targets.Connect = connect;
    try {
        for (const QString &address : addresses) {
            StandardPing(InputFor(address, timeOut), out.targets);
        }
    } catch (const TxError &error) {
        out.errors << error.Message();
    }
}

void Together(const QStringList &addresses, const TEchoServiceFactory &connect, RunOutcome &out,
              quint16 timeOut = 4000, int inFlight = kMaxAddressesInFlight) {
    TListRunInput list;
    list.Addresses = addresses;
    list.Echo.TimeOut = timeOut;
    list.InFlight = inFlight;
    list.Connect = connect;
    try {
        RunAddressList(list, [&](int index, const TPingRecord &record) {
            WritePingRecord(InputFor(addresses.at(index), timeOut), out.targets, record);
        });
    } catch (const TxError &error) {
        out.errors << error.Message();
    }
}

void ExpectSameOutcome(RunOutcome &together, RunOutcome &oneByOne) {
    EXPECT_EQ(ColouredPaneLines(together.debugMemo), ColouredPaneLines(oneByOne.debugMemo));
    EXPECT_EQ(ColouredPaneLines(together.addressMemo), ColouredPaneLines(oneByOne.addressMemo));
    EXPECT_EQ(together.charts.bars, oneByOne.charts.bars);
    EXPECT_EQ(together.charts.barsActive, oneByOne.charts.barsActive);
    EXPECT_EQ(together.charts.points, oneByOne.charts.points);
    EXPECT_EQ(together.charts.axisMinimum, oneByOne.charts.axisMinimum);
    EXPECT_EQ(together.positionX, oneByOne.positionX);
    EXPECT_EQ(together.progress, oneByOne.progress);
    EXPECT_EQ(together.errors, oneByOne.errors);
}

// The results pane's coloured lines with the measured trip times and figures replaced by
// placeholders: loopback answers within the first millisecond, but a busy machine may take
// longer, so the measured times are the one part compared by form only.
QStringList MeasuredPaneLines(RunOutcome &out) {
    static const QRegularExpression time(QStringLiteral("[;:]  Bytes=32  Time=(<1|\\d+) ms"));
    static const QRegularExpression figures(
        QStringLiteral("Minimum = \\d+ ms, Maximum = \\d+ ms, Average = \\d+ ms"));
    QStringList lines = ColouredPaneLines(out.debugMemo);
    lines.replaceInStrings(time, QStringLiteral(": Bytes=32 Time=(measured)"));
    lines.replaceInStrings(figures, QStringLiteral("(measured figures)"));
    return lines;
}

TEchoServiceFactory Scripted() {
    return [] { return std::make_unique<AddressEcho>(); };
}

}  // namespace

TEST(ListRun, WritesWhatOneAddressAfterAnotherWrites) {
    QStringList addresses;
    for (int i = 0; i < 90; ++i) {
        const char *kinds[] = {"host", "silent", "unknown", "host", ""};
        addresses << QStringLiteral("%1%2").arg(QLatin1String(kinds[i % 5])).arg(i);
    }
    addresses << QString() << QStringLiteral("o'host");
    RunOutcome oneByOne;
    OneByOne(addresses, Scripted(), oneByOne);
    RunOutcome together;
    Together(addresses, Scripted(), together);
    ExpectSameOutcome(together, oneByOne);
    EXPECT_EQ(together.addressMemo.blockCount(), addresses.size() + 1);
    EXPECT_TRUE(together.errors.isEmpty());
}

TEST(ListRun, AFailureEndsTheListWhereOneAddressAfterAnotherEndsIt) {
    const QStringList addresses = {QStringLiteral("alpha"), QStringLiteral("silent1"),
                                   QStringLiteral("broken"), QStringLiteral("beta"),
                                   QStringLiteral("gamma")};
    RunOutcome oneByOne;
    OneByOne(addresses, Scripted(), oneByOne);
    RunOutcome together;
    Together(addresses, Scripted(), together);
    ExpectSameOutcome(together, oneByOne);
    EXPECT_EQ(together.errors, QStringList(QStringLiteral("Echo request failed: broken")));
    EXPECT_EQ(together.progress.constLast(), QStringLiteral("1 of 4"));

    // A service that cannot be opened ends the list at the first address, after its header.
    const TEchoServiceFactory refused = []() -> std::unique_ptr<TEchoService> {
        throw TxError(QStringLiteral("Cannot send echo requests: denied"));
    };
    RunOutcome refusedOneByOne;
    OneByOne(addresses, refused, refusedOneByOne);
    RunOutcome refusedTogether;
    Together(addresses, refused, refusedTogether);
    ExpectSameOutcome(refusedTogether, refusedOneByOne);
    EXPECT_EQ(PaneLines(&refusedTogether.debugMemo).size(), 3);
}

TEST(ListRun, HoldsNoMoreAddressesThanTheLimits) {
    // The first address keeps its requests open until the others have had every chance to
    // start: the addresses behind it go ahead, but never more than the limit of addresses
    // started and not yet written, and never more than the limit of requests at once.
    std::atomic<int> started{0};
    std::atomic<int> underWay{0};
    std::atomic<int> mostUnderWay{0};
    class Counting final : public TEchoService {
      public:
        Counting(std::atomic<int> &underWay, std::atomic<int> &most, std::atomic<int> &started)
            : underWay_(underWay), most_(most), started_(started) {}
        std::optional<TPingReply> ExecQuery(const TEchoQuery &query) override {
            const int now = ++underWay_;
            int most = most_;
            while (now > most && !most_.compare_exchange_weak(most, now)) {
            }
            if (query.Address == QLatin1String("first")) {
                for (int i = 0; i < 400 && started_ < kAhead; ++i) {
                    QThread::msleep(5);
                }
                QThread::msleep(50);  // room for a wrong start beyond the limit
                EXPECT_EQ(started_.load(), kAhead);
            }
            --underWay_;
            return Reply(1);
        }

      private:
        std::atomic<int> &underWay_;
        std::atomic<int> &most_;
        std::atomic<int> &started_;
    };
    QStringList addresses(200, QStringLiteral("other"));
    addresses[0] = QStringLiteral("first");
    TListRunInput list;
    list.Addresses = addresses;
    list.Echo.Retries = 2;
    list.InFlight = kInFlight;
    list.Ahead = kAhead;
    list.Connect = [&]() -> std::unique_ptr<TEchoService> {
        ++started;
        return std::make_unique<Counting>(underWay, mostUnderWay, started);
    };
    int written = 0;
    RunAddressList(list, [&](int index, const TPingRecord &record) {
        EXPECT_EQ(index, written++);
        EXPECT_EQ(record.Replies.size(), 2u);
    });
    EXPECT_EQ(written, 200);
    EXPECT_EQ(started.load(), 200);
    EXPECT_LE(mostUnderWay.load(), kInFlight);
    EXPECT_GT(mostUnderWay.load(), 1);
}

TEST(ListRun, ASilentAddressNeverTakesItsNeighboursReplies) {
    EchoNamespace ns;
    if (!ns.Problem().isEmpty()) {
        GTEST_SKIP() << ns.Problem().toStdString();
    }
    const QStringList addresses = {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.3"),
                                   QStringLiteral("127.0.0.4"), QStringLiteral("127.0.0.3"),
                                   QStringLiteral("127.0.0.5")};
    for (TIcmpSocketKind kind : {TIcmpSocketKind::Datagram, TIcmpSocketKind::Raw}) {
        SCOPED_TRACE(kind == TIcmpSocketKind::Datagram ? "datagram sockets" : "raw sockets");
        TListRunInput list;
        list.Addresses = addresses;
        list.Echo.TimeOut = 300;
        list.Connect = [&ns, kind] { return ns.OpenService(kind); };
        int written = 0;
        RunAddressList(list, [&](int index, const TPingRecord &record) {
            ++written;
            ASSERT_FALSE(record.Failure);
            ASSERT_EQ(record.Replies.size(), 4u);
            for (const std::optional<TPingReply> &reply : record.Replies) {
                ASSERT_TRUE(reply.has_value());
                const bool silent = addresses.at(index) == QLatin1String("127.0.0.3");
                EXPECT_EQ(reply->StatusCode, std::optional<qint32>(silent ? 11010 : 0)) << index;
                EXPECT_EQ(reply->ProtocolAddress, addresses.at(index));
            }
        });
        EXPECT_EQ(written, addresses.size());
    }
}

TEST(ListRun, RealRequestsWriteWhatOneAddressAfterAnotherWrites) {
    EchoNamespace ns;
    if (!ns.Problem().isEmpty()) {
        GTEST_SKIP() << ns.Problem().toStdString();
    }
    const QStringList addresses = {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.3"),
                                   QStringLiteral("127.0.0.2"), QStringLiteral("no-such.invalid"),
                                   QStringLiteral("127.0.0.4"), QString(),
                                   QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.6")};
    for (TIcmpSocketKind kind : {TIcmpSocketKind::Datagram, TIcmpSocketKind::Raw}) {
        SCOPED_TRACE(kind == TIcmpSocketKind::Datagram ? "datagram sockets" : "raw sockets");
        const TEchoServiceFactory connect = [&ns, kind] { return ns.OpenService(kind); };
        const int descriptors = OpenDescriptorCount();
        RunOutcome oneByOne;
        OneByOne(addresses, connect, oneByOne, 300);
        RunOutcome together;
        Together(addresses, connect, together, 300);
        EXPECT_EQ(MeasuredPaneLines(together), MeasuredPaneLines(oneByOne));
        EXPECT_EQ(ColouredPaneLines(together.addressMemo), ColouredPaneLines(oneByOne.addressMemo));
        EXPECT_EQ(together.progress, oneByOne.progress);
        EXPECT_TRUE(together.errors.isEmpty()) << together.errors.join('\n').toStdString();
        const QStringList lines = PaneLines(&together.debugMemo);
        EXPECT_EQ(lines.filter(QStringLiteral("Reply from 127.0.0.3: Request Timed Out")).size(),
                  8);
        EXPECT_EQ(lines.filter(QStringLiteral("Reply from 127.0.0.2: Destination Host Unreachable"))
                      .size(),
                  4);
        // Every socket of either run is closed again.
        EXPECT_EQ(OpenDescriptorCount(), descriptors);
    }
}

TEST(ListRun, Ipv6EntriesRunTogetherWithIpv4Ones) {
    EchoNamespace ns;
    ns.AddIpv6Targets();
    if (!ns.Problem().isEmpty()) {
        GTEST_SKIP() << ns.Problem().toStdString();
    }
    // As a list file gives them once "http://" is gone.
    const QStringList addresses = {QStringLiteral("::1"),
                                   QStringLiteral("fd7a:5ee::3"),
                                   QStringLiteral("127.0.0.1"),
                                   QStringLiteral("fd7a:5ee::2"),
                                   QStringLiteral("[fd7a:5ee::1]:8080/"),
                                   QStringLiteral("127.0.0.3"),
                                   QStringLiteral("fd7a:5ee::10")};
    for (TIcmpSocketKind kind : {TIcmpSocketKind::Datagram, TIcmpSocketKind::Raw}) {
        SCOPED_TRACE(kind == TIcmpSocketKind::Datagram ? "datagram sockets" : "raw sockets");
        const TEchoServiceFactory connect = [&ns, kind] { return ns.OpenService(kind); };
        RunOutcome oneByOne;
        OneByOne(addresses, connect, oneByOne, 300);
        RunOutcome together;
        Together(addresses, connect, together, 300);
        EXPECT_EQ(MeasuredPaneLines(together), MeasuredPaneLines(oneByOne));
        EXPECT_TRUE(together.errors.isEmpty()) << together.errors.join('\n').toStdString();
        EXPECT_EQ(PaneLines(&together.addressMemo),
                  QStringList(
                      {QStringLiteral("IPv6 - ::1\t\tAddress - ::1"), QStringLiteral("fd7a:5ee::3"),
                       QStringLiteral("IPv4 - 127.0.0.1\t\tAddress - 127.0.0.1"),
                       QStringLiteral("fd7a:5ee::2"),
                       QStringLiteral("IPv6 - fd7a:5ee::1\t\tAddress - [fd7a:5ee::1]:8080/"),
                       QStringLiteral("127.0.0.3"),
                       QStringLiteral("IPv6 - fd7a:5ee::10\tAddress - fd7a:5ee::10")}));
        const QStringList lines = PaneLines(&together.debugMemo);
        EXPECT_EQ(lines.filter(QStringLiteral("Reply from fd7a:5ee::3: Request Timed Out")).size(),
                  4);
        EXPECT_EQ(
            lines.filter(QStringLiteral("Reply from fd7a:5ee::2: Destination Host Unreachable"))
                .size(),
            4);
        EXPECT_EQ(lines
                      .filter(QStringLiteral("Ping statistics for [fd7a:5ee::1]:8080/; IPv6 - "
                                             "fd7a:5ee::1"))
                      .size(),
                  1);
    }

    // The TTL setting reaches every request as its hop limit.
    TListRunInput list;
    list.Addresses = {QStringLiteral("fd7a:5ee::4"), QStringLiteral("fd7a:5ee::4")};
    list.Echo.TimeOut = 300;
    list.Echo.Retries = 2;
    list.Echo.TimeToLive = 77;
    list.Connect = [&ns] { return ns.OpenService(TIcmpSocketKind::Datagram); };
    int written = 0;
    RunAddressList(list, [&](int, const TPingRecord &record) {
        ++written;
        ASSERT_EQ(record.Replies.size(), 2u);
        for (const std::optional<TPingReply> &reply : record.Replies) {
            EXPECT_EQ(reply.value_or(TPingReply{}).StatusCode, std::optional<qint32>(0));
        }
    });
    EXPECT_EQ(written, 2);
}

TEST(ListRun, AnAbandonedRunLeavesNoSocketOpen) {
    EchoNamespace ns;
    if (!ns.Problem().isEmpty()) {
        GTEST_SKIP() << ns.Problem().toStdString();
    }
    // The writer fails at the second address while silent addresses are still waiting for
    // their replies: the error comes back, and every service is closed by then.
    QStringList addresses = {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1")};
    for (int i = 0; i < 30; ++i) {
        addresses << QStringLiteral("127.0.0.3");
    }
    const int descriptors = OpenDescriptorCount();
    TListRunInput list;
    list.Addresses = addresses;
    list.Echo.TimeOut = 200;
    list.Connect = [&ns] { return ns.OpenService(TIcmpSocketKind::Datagram); };
    int written = 0;
    try {
        RunAddressList(list, [&](int index, const TPingRecord &) {
            ++written;
            if (index == 1) {
                throw TxError(QStringLiteral("stop here"));
            }
        });
        ADD_FAILURE() << "no error";
    } catch (const TxError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("stop here"));
    }
    EXPECT_EQ(written, 2);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

// ping's cadence: a request every interval whatever earlier ones still wait for. A silent
// address has its later requests out while its first still waits for its time-out; an address
// whose every other request is dropped has a reply overtake a time-out, and still hands its
// outcomes on in the order of its requests; a name that does not resolve waits for nothing.
TEST(ListRun, EveryIntervalSendsWhileEarlierRequestsWait) {
    EchoNamespace ns(EchoNamespace::StandardRules() +
                     "ip daddr 127.0.0.9 icmp type echo-request numgen inc mod 2 0 drop\n");
    if (!ns.Problem().isEmpty()) {
        GTEST_SKIP() << ns.Problem().toStdString();
    }
    TListRunInput input;
    input.Addresses = {QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.9"),
                       QStringLiteral("127.0.0.1"), QStringLiteral("no-such.invalid")};
    input.Echo.Retries = 3;
    input.Echo.TimeOut = 3000;
    input.Interval = 100;
    input.Cadence = TRequestCadence::EveryInterval;
    input.Connect = [&ns] { return ns.OpenService(TIcmpSocketKind::Datagram); };

    std::mutex mutex;
    QStringList events;  // "sent 0.1": request 1 of address 0 made; "replied 0.1": its outcome
    std::vector<TPingRecord> records(static_cast<std::size_t>(input.Addresses.size()));
    TAddressRunCallbacks callbacks;
    callbacks.Sending = [&](int index, int request) {
        const std::lock_guard<std::mutex> lock(mutex);
        events << QStringLiteral("sent %1.%2").arg(index).arg(request);
    };
    callbacks.Replied = [&](int index, int request, const std::optional<TPingReply> &) {
        const std::lock_guard<std::mutex> lock(mutex);
        events << QStringLiteral("replied %1.%2").arg(index).arg(request);
    };
    callbacks.Done = [&](int index, TPingRecord &record) {
        const std::lock_guard<std::mutex> lock(mutex);
        records[static_cast<std::size_t>(index)] = record;
    };
    {
        TAddressRuns runs(input, callbacks);
        runs.Wait();
    }
    const auto at = [&events](const char *event) {
        const qsizetype index = events.indexOf(QLatin1String(event));
        EXPECT_GE(index, 0) << event;
        return index;
    };
    // The silent address's third request went out before its first timed out.
    EXPECT_LT(at("sent 0.2"), at("replied 0.0"));
    // The second request of 127.0.0.9 was answered while its first waited; the outcomes still
    // come in the order of the requests.
    EXPECT_LT(at("sent 1.1"), at("replied 1.0"));
    EXPECT_LT(at("replied 1.0"), at("replied 1.1"));
    EXPECT_LT(at("replied 1.1"), at("replied 1.2"));
    // Before the first time-out, the name that does not resolve was done.
    EXPECT_LT(at("replied 3.2"), at("replied 0.0"));

    const std::vector<std::vector<std::optional<qint32>>> statuses = {
        {11010, 11010, 11010},
        {11010, 0, 11010},
        {0, 0, 0},
        {std::nullopt, std::nullopt, std::nullopt}};
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(input.Addresses.at(static_cast<int>(i)).toStdString());
        ASSERT_EQ(records[i].Replies.size(), 3u);
        for (std::size_t r = 0; r < 3; ++r) {
            ASSERT_TRUE(records[i].Replies[r].has_value());
            EXPECT_EQ(records[i].Replies[r]->StatusCode, statuses[i][r]) << r;
        }
    }
}

namespace {

// Echo requests as they arrive at the namespace's loopback, with the kernel's time stamp of
// each: a raw socket of the test's own that sees only requests, read on a thread of its own.
class RequestCapture final {
  public:
    explicit RequestCapture(const EchoNamespace &ns) {
        ns.RunInside(
            [this] { socket_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP); });
        if (socket_ < 0) {
            ADD_FAILURE() << "no raw socket for the capture";
            return;
        }
        icmp_filter filter{};
        filter.data = ~(1u << ICMP_ECHO);
        setsockopt(socket_, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
        const int on = 1;
        setsockopt(socket_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        const int buffer = 8 << 20;
        setsockopt(socket_, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer);
        reader_ = std::thread([this] { Read(); });
    }
    ~RequestCapture() {
        stop_ = true;
        if (reader_.joinable()) {
            reader_.join();
        }
        if (socket_ >= 0) {
            ::close(socket_);
        }
    }

    // The time stamps (ns) of the requests so far, in order.
    std::vector<qint64> Stamps() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return stamps_;
    }

  private:
    void Read() {
        char data[2048];
        alignas(cmsghdr) char control[256];
        while (!stop_) {
            pollfd ready{socket_, POLLIN, 0};
            if (poll(&ready, 1, 20) <= 0) {
                continue;
            }
            iovec io{data, sizeof data};
            msghdr message{};
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            if (recvmsg(socket_, &message, MSG_DONTWAIT) <= 0) {
                continue;
            }
            for (cmsghdr *c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec stamp{};
                    memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                    const std::lock_guard<std::mutex> lock(mutex_);
                    stamps_.push_back(qint64(stamp.tv_sec) * 1000000000 + stamp.tv_nsec);
                }
            }
        }
    }

    int socket_ = -1;
    std::atomic<bool> stop_{false};
    std::thread reader_;
    std::mutex mutex_;
    std::vector<qint64> stamps_;
};

// The most requests that fall within any slice of `sliceNs`.
int MostInOneSlice(std::vector<qint64> stamps, qint64 sliceNs) {
    std::sort(stamps.begin(), stamps.end());
    int most = 0;
    std::size_t first = 0;
    for (std::size_t last = 0; last < stamps.size(); ++last) {
        while (stamps[last] - stamps[first] >= sliceNs) {
            ++first;
        }
        most = qMax(most, static_cast<int>(last - first + 1));
    }
    return most;
}

}  // namespace

// A list run sends at most Rate requests a second, spread evenly: no slice of 50 ms holds more
// than its share (and the loop's small catch-up), whether the requests follow their answers or
// go every interval, over either kind of socket. Without a rate they leave at once.
TEST(ListRun, RequestsLeaveSpreadAtTheRate) {
    EchoNamespace ns;
    if (!ns.Problem().isEmpty()) {
        GTEST_SKIP() << ns.Problem().toStdString();
    }
    struct Case {
        const char *name;
        TIcmpSocketKind kind;
        int rate;
        int addresses;
        quint16 retries;
        TRequestCadence cadence;
        int interval;
    };
    const Case cases[] = {
        {"400 a second, one each, datagram", TIcmpSocketKind::Datagram, 400, 120, 1,
         TRequestCadence::AfterAnswer, 0},
        {"1000 a second, three each after the answer, raw", TIcmpSocketKind::Raw, 1000, 100, 3,
         TRequestCadence::AfterAnswer, 0},
        {"1000 a second, two each every 50 ms, datagram", TIcmpSocketKind::Datagram, 1000, 150, 2,
         TRequestCadence::EveryInterval, 50},
        {"no limit", TIcmpSocketKind::Datagram, 0, 120, 1, TRequestCadence::AfterAnswer, 0},
    };
    constexpr qint64 kSliceNs = 50000000;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TListRunInput input;
        for (int i = 1; i <= c.addresses; ++i) {
            input.Addresses << QStringLiteral("127.1.%1.%2").arg(i / 200).arg(i % 200 + 1);
        }
        input.Echo.Retries = c.retries;
        input.Echo.TimeOut = 2000;
        input.Rate = c.rate;
        input.Cadence = c.cadence;
        input.Interval = c.interval;
        input.Connect = [&ns, kind = c.kind] { return ns.OpenService(kind); };
        RequestCapture capture(ns);
        int answered = 0;
        RunAddressList(input, [&answered](int, const TPingRecord &record) {
            for (const std::optional<TPingReply> &reply : record.Replies) {
                answered += reply && reply->StatusCode == 0 ? 1 : 0;
            }
        });
        const int requests = c.addresses * c.retries;
        EXPECT_EQ(answered, requests);
        // The capture reads what is queued on its socket before it is asked.
        std::vector<qint64> stamps;
        for (int i = 0; i < 100 && stamps.size() < std::size_t(requests); ++i) {
            stamps = capture.Stamps();
            QThread::msleep(10);
        }
        ASSERT_EQ(stamps.size(), std::size_t(requests));
        const int most = MostInOneSlice(stamps, kSliceNs);
        if (c.rate > 0) {
            // Its share, two turns the loop may catch up, and one at the slice's edge.
            EXPECT_LE(most, c.rate * kSliceNs / 1000000000 + 3);
        } else {
            EXPECT_GT(most, requests / 2);
        }
    }
}
