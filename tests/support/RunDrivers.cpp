#include "support/RunDrivers.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <memory>

#include "common/Errors.h"
#include "ping/RunSession.h"

namespace {

// How often a watch asks whether it is to stop while no outcome comes.
constexpr int kWatchStopPollMs = 5;

}  // namespace

void RunAddressList(const TListRunInput &input, const TListRunWriter &write) {
    TRunSession session;
    session.SetConnect(input.Connect);
    std::exception_ptr failure;
    QEventLoop loop;
    QObject::connect(&session, &TRunSession::Recorded, &loop,
                     [&](int index, const QString &, const TPingRecord &record) {
                         // What the run still hands on after a writer failed is not written.
                         if (failure) {
                             return;
                         }
                         try {
                             write(index, record);
                         } catch (...) {
                             failure = std::current_exception();
                             session.Stop();
                         }
                     });
    QObject::connect(&session, &TRunSession::Finished, &loop, &QEventLoop::quit);
    // Every address is recorded: the caller decides what a failed one means.
    if (session.StartList(input, false)) {
        loop.exec();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void RunAddressOnModel(const TPingRunInput &input, const TPingRunTargets &targets, int interval,
                       const std::function<void(TRunModel &model)> &start) {
    CheckTargets(targets);
    TRunModel model;
    TRunViews views;
    views.DebugMemo = targets.DebugMemo;
    views.AddressMemo = targets.AddressMemo;
    views.DebugLines = targets.DebugLines;
    views.Charts = targets.Charts;
    views.Now = targets.Now;
    views.AddressEditText = targets.AddressEditText;
    model.SetViews(views);
    TRunSettings settings;
    settings.Echo = input.Echo;
    settings.DebugColor = input.DebugColor;
    settings.ResultsColor = input.ResultsColor;
    settings.Interval = interval;
    model.SetSettings(settings);
    if (targets.Connect) {
        model.SetConnect(targets.Connect);
    }
    if (targets.SetProgress) {
        QObject::connect(&model, &TRunModel::Progress, &model, targets.SetProgress);
    }
    QString failure;
    QObject::connect(&model, &TRunModel::Failed, &model,
                     [&failure](TRunModel::TKind, const QString &message) {
                         if (failure.isEmpty()) {
                             failure = message;
                         }
                     });
    QEventLoop loop;
    QObject::connect(&model, &TRunModel::RunFinished, &loop, [&model, &loop] {
        if (model.IsIdle()) {
            loop.quit();
        }
    });

    model.PositionX = *targets.PositionX;
    start(model);
    if (!model.IsIdle()) {
        loop.exec();
    }
    *targets.PositionX = model.PositionX;
    if (!failure.isEmpty()) {
        throw TxError(failure);
    }
}

void StandardPing(const TPingRunInput &input, const TPingRunTargets &targets) {
    RunAddressOnModel(input, targets, 0,
                      [&input](TRunModel &model) { model.StartSingle(input.PingAddress); });
}

void WatchPing(const TPingRunInput &input, const TPingRunTargets &targets,
               const TWatchControl &control) {
    if (!control.StopRequested) {
        throw TxError(QStringLiteral("The watch has no way to stop."));
    }
    RunAddressOnModel(input, targets, control.Interval, [&input, &control](TRunModel &model) {
        const auto stop = [&model, &control] {
            if (control.StopRequested()) {
                model.Stop(TRunModel::TKind::Watch);
            }
        };
        // The live figures change as a request is made and as its outcome comes; only an
        // outcome counts a request.
        auto counted = std::make_shared<qint32>(0);
        QObject::connect(&model, &TRunModel::LiveFiguresChanged, &model,
                         [&model, &control, counted, stop] {
                             const TPingFigures figures = model.WatchFigures();
                             if (figures.Sent == *counted) {
                                 return;
                             }
                             *counted = figures.Sent;
                             if (control.Counted) {
                                 control.Counted(figures);
                             }
                             stop();
                         });
        // The stop may come from another thread while the watch waits for its next request.
        auto *poll = new QTimer(&model);
        QObject::connect(poll, &QTimer::timeout, &model, stop);
        poll->start(kWatchStopPollMs);
        model.StartWatch(input.PingAddress);
        stop();
    });
}
