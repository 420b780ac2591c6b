#include <gtest/gtest.h>

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include "common/BlockingCall.h"
#include "common/Errors.h"

TEST(BlockingCall, RunsOffTheCallingThreadAndReturnsTheResult) {
    QThread *caller = QThread::currentThread();
    QThread *worker = nullptr;
    const int value = RunBlocking([&] {
        worker = QThread::currentThread();
        return 42;
    });
    EXPECT_EQ(value, 42);
    EXPECT_NE(worker, caller);
}

TEST(BlockingCall, KeepsTimersRunningWhileWaiting) {
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    RunBlocking([] { QThread::msleep(120); });
    EXPECT_GT(ticks, 0);
}

TEST(BlockingCall, RethrowsTheWorkersErrorOnTheCallingThread) {
    try {
        RunBlocking(
            [] { throw TxError(QStringLiteral("socket closed"), QStringLiteral("ESocket")); });
        FAIL() << "no error";
    } catch (const TxError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("socket closed"));
        EXPECT_EQ(error.ClassName(), QStringLiteral("ESocket"));
    }
}

// What the work posts back to the calling thread (a progress report, say) has been delivered
// when the call returns, also when the work is over before the wait begins: a report that came
// later would redo what the caller has already closed.
TEST(BlockingCall, DeliversWhatTheWorkPostedBeforeReturning) {
    QObject receiver;
    for (int round = 0; round < 20000; ++round) {
        int reports = 0;
        RunBlocking([&] {
            QMetaObject::invokeMethod(
                &receiver, [&reports] { ++reports; }, Qt::QueuedConnection);
        });
        ASSERT_EQ(reports, 1) << "round " << round;
    }
}
