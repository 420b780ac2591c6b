// On one local network the kernel keeps at most gc_thresh3 neighbour entries (ARP), and frees
// them only once they are some seconds old. A list run of more answering addresses than that,
// all at once, must still get every reply: a request the system had no room for waits and goes
// again, and the run says once why it waited. Two namespaces joined by a veth pair; the far one
// answers for a whole block of addresses. The neighbour table is the whole system's (shared by
// every namespace), so the test is run alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <mutex>

#include "ping/AddressRuns.h"
#include "support/EchoNamespace.h"
#include "support/TestSupport.h"

namespace {

// A sender and a far side on one link: 10.98.0.1/16 and 10.98.0.2/16; the far side takes every
// address of 10.98.16.0/20 as its own and answers echo requests to them. The far side knows the
// sender's link address for good, as a host of a real network with a table of its own would:
// here it shares the sender's full table and could not answer a resolution otherwise. Room
// frees as the sender's entries go stale, some half a minute after they were made, so the test
// is slow.
class Lan final {
  public:
    Lan() {
        const QString tag = QString::number(getpid() % 100000);
        sender_ = QStringLiteral("txlan-a-") + tag;
        far_ = QStringLiteral("txlan-b-") + tag;
        const QString senderLink = QStringLiteral("txla") + tag;
        const QString farLink = QStringLiteral("txlb") + tag;
        const QList<QStringList> commands = {
            {"netns", "add", sender_},
            {"netns", "add", far_},
            {"link", "add", senderLink, "netns", sender_, "type", "veth", "peer", "name", farLink,
             "netns", far_},
            {"-n", sender_, "addr", "add", "10.98.0.1/16", "dev", senderLink},
            {"-n", far_, "addr", "add", "10.98.0.2/16", "dev", farLink},
            {"-n", sender_, "link", "set", senderLink, "address", "02:98:00:00:00:01"},
            {"-n", far_, "neigh", "replace", "10.98.0.1", "lladdr", "02:98:00:00:00:01", "dev",
             farLink, "nud", "permanent"},
            {"-n", sender_, "link", "set", senderLink, "up"},
            {"-n", far_, "link", "set", farLink, "up"},
            {"-n", sender_, "link", "set", "lo", "up"},
            {"-n", far_, "link", "set", "lo", "up"},
            {"-n", far_, "route", "add", "local", "10.98.16.0/20", "dev", "lo"},
        };
        for (const QStringList &command : commands) {
            QString errors;
            if (RunCommandLine(QStringLiteral("ip"), command, {}, &errors) != 0) {
                problem_ = QStringLiteral("ip %1: %2").arg(command.join(' '), errors);
                return;
            }
        }
        RunCommandLine(QStringLiteral("ip"), {"netns", "exec", sender_, "sysctl", "-qw",
                                              "net.ipv4.ping_group_range=0 2147483647"});
    }
    ~Lan() {
        for (const QString &name : {sender_, far_}) {
            RunCommandLine(QStringLiteral("ip"),
                           {QStringLiteral("netns"), QStringLiteral("del"), name});
        }
    }
    Lan(const Lan &) = delete;
    Lan &operator=(const Lan &) = delete;

    QString Problem() const { return problem_; }
    QString Sender() const { return sender_; }

  private:
    QString sender_;
    QString far_;
    QString problem_;
};

int NeighbourLimit() {
    QFile file(QStringLiteral("/proc/sys/net/ipv4/neigh/default/gc_thresh3"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt() : 0;
}

}  // namespace

TEST(NeighbourTable, EveryAnsweringAddressGetsItsReplyBeyondTheTable) {
    const int limit = NeighbourLimit();
    if (limit <= 0 || limit > 2048) {
        GTEST_SKIP() << "the neighbour table's limit is " << limit;
    }
    Lan lan;
    if (!lan.Problem().isEmpty()) {
        GTEST_SKIP() << lan.Problem().toStdString();
    }
    // A quarter more addresses than the table holds; each kind of socket has a block of its own,
    // so that it meets a table full of fresh entries.
    const int count = limit + limit / 4;
    const struct {
        TIcmpSocketKind kind;
        int block;  // 10.98.<16 + block>.0 onwards
    } cases[] = {{TIcmpSocketKind::Raw, 0}, {TIcmpSocketKind::Datagram, 8}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.kind == TIcmpSocketKind::Raw ? "raw socket" : "datagram socket");
        TListRunInput input;
        for (int i = 0; i < count; ++i) {
            input.Addresses
                << QStringLiteral("10.98.%1.%2").arg(16 + c.block + i / 250).arg(i % 250 + 1);
        }
        input.Echo.Retries = 1;
        input.Echo.TimeOut = 1000;
        const QString sender = lan.Sender();
        input.Connect = [sender, kind = c.kind] { return OpenServiceInNamespace(sender, kind); };

        std::mutex mutex;
        QStringList notices;
        QMap<qint32, int> statuses;
        int unknown = 0;
        int failures = 0;
        TAddressRunCallbacks callbacks;
        callbacks.Notice = [&](const QString &notice) {
            const std::lock_guard<std::mutex> lock(mutex);
            notices << notice;
        };
        callbacks.Done = [&](int, TPingRecord &record) {
            const std::lock_guard<std::mutex> lock(mutex);
            if (record.Failure) {
                ++failures;
            }
            for (const std::optional<TPingReply> &reply : record.Replies) {
                if (reply && reply->StatusCode) {
                    ++statuses[*reply->StatusCode];
                } else {
                    ++unknown;
                }
            }
        };
        {
            TAddressRuns runs(input, callbacks);
            runs.Wait();
        }
        QStringList others;
        for (auto status = statuses.begin(); status != statuses.end(); ++status) {
            others << QStringLiteral("%1 x %2").arg(status.value()).arg(status.key());
        }
        EXPECT_EQ(statuses.value(0), count) << others.join(", ").toStdString();
        EXPECT_EQ(unknown, 0);
        EXPECT_EQ(failures, 0);
        ASSERT_EQ(notices.size(), 1);
        EXPECT_TRUE(notices.first().startsWith(
            QStringLiteral("Requests wait for room in the system's neighbour table (ARP")))
            << notices.first().toStdString();
        EXPECT_TRUE(notices.first().contains(
            QStringLiteral("sysctl -w net.ipv4.neigh.default.gc_thresh3=")))
            << notices.first().toStdString();
    }
}
