// The window's run session watching a list, with real echo requests in a namespace of the
// test's own: how the outcomes reach the owner's thread, and how a watch ends without waiting.
#include <gtest/gtest.h>

#include <QObject>
#include <atomic>

#include "ping/RunSession.h"
#include "support/EchoNamespace.h"
#include "support/TestSupport.h"

namespace {

// A session on the namespace's echo service, with what its signals brought.
class RunSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!ns_.Problem().isEmpty()) {
            GTEST_SKIP() << ns_.Problem().toStdString();
        }
        const EchoNamespace *ns = &ns_;
        session_.SetConnect([ns] { return ns->OpenService(TIcmpSocketKind::Automatic); });
        QObject::connect(&session_, &TRunSession::ListReplied,
                         [this](int index, qint64, const std::optional<TPingReply> &reply) {
                             ++outcomes_[index];
                             answered_[index] += reply && reply->StatusCode == 0;
                         });
        QObject::connect(&session_, &TRunSession::Ended, [this](bool stopped) {
            ended_ = true;
            endedStopped_ = stopped;
            outcomesAtEnd_[0] = outcomes_[0];
            outcomesAtEnd_[1] = outcomes_[1];
        });
        QObject::connect(&session_, &TRunSession::Finished, [this] { finished_ = true; });
    }

    // 127.0.0.1 answers; the namespace's standard rules drop requests to 127.0.0.3.
    EchoNamespace ns_;
    TRunSession session_;
    int outcomes_[2] = {0, 0};
    int answered_[2] = {0, 0};
    int outcomesAtEnd_[2] = {0, 0};
    bool ended_ = false;
    bool endedStopped_ = false;
    bool finished_ = false;
};

TPingRunInput WatchInput(quint16 timeOut) {
    TPingRunInput input;
    input.Echo.TimeOut = timeOut;
    return input;
}

}  // namespace

// A watched list's outcomes reach the owner's thread in deliveries at least 50 ms apart on the
// session's clock: held still, the outcomes after the first delivery wait, however many come;
// once the clock has moved on they come, and the end brings every one that is left.
TEST_F(RunSessionTest, AListWatchsOutcomesWaitWhileTheLastDeliveryIsTooRecent) {
    std::atomic<qint64> now{1000};
    session_.SetDeliveryClock([&now] { return now.load(); });
    ASSERT_TRUE(session_.StartListWatch(WatchInput(2000), {QStringLiteral("127.0.0.1")}, 10));

    ASSERT_TRUE(WaitUntil([this] { return outcomes_[0] > 0; }));
    // Each request is made once the one before has its outcome: five more requests made are at
    // least four more outcomes waiting.
    const int delivered = outcomes_[0];
    ASSERT_TRUE(WaitUntil([&] { return session_.ListRequestsMade(0) >= delivered + 6; }));
    EXPECT_EQ(outcomes_[0], delivered);

    now += 50;
    EXPECT_TRUE(WaitUntil([&] { return outcomes_[0] > delivered + 3; }));

    session_.Stop();
    ASSERT_TRUE(WaitUntil([this] { return finished_; }));
    EXPECT_TRUE(ended_);
    EXPECT_EQ(outcomes_[0], session_.ListRequestsMade(0));
    EXPECT_EQ(answered_[0], outcomes_[0]);
}

// Ended at once, running or already stopping after a stop that waits: the session is idle again
// without waiting for the silent address's request (its time-out is a minute), whose outcome
// never comes; the answering address's outcomes are all told before the end.
TEST_F(RunSessionTest, StopNowEndsAListWatchWithoutWaitingForItsRequestsOut) {
    for (const bool stoppingFirst : {false, true}) {
        SCOPED_TRACE(stoppingFirst ? "stopping first" : "running");
        outcomes_[0] = outcomes_[1] = 0;
        ended_ = endedStopped_ = finished_ = false;
        ASSERT_TRUE(session_.StartListWatch(
            WatchInput(60000), {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.3")}, 20));
        ASSERT_TRUE(
            WaitUntil([this] { return outcomes_[0] >= 3 && session_.ListRequestsMade(1) == 1; }));
        if (stoppingFirst) {
            session_.Stop();
            EXPECT_EQ(session_.State(), TRunSession::TState::Stopping);
        }
        session_.StopNow();
        ASSERT_TRUE(WaitUntil([this] { return finished_; }, 20000));
        EXPECT_TRUE(session_.IsIdle());
        EXPECT_TRUE(ended_);
        EXPECT_TRUE(endedStopped_);
        EXPECT_EQ(outcomes_[1], 0);
        EXPECT_EQ(outcomesAtEnd_[0], outcomes_[0]);
        EXPECT_GE(outcomes_[0], session_.ListRequestsMade(0) - 1);
    }
}
