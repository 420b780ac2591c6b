#pragma once

#include <QColor>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTextDocument>
#include <deque>
#include <memory>
#include <optional>

#include "PingTestDoubles.h"
#include "ping/PingRun.h"

// The requests a scripted service answers, in order.
using Script = std::deque<std::optional<TPingReply>>;

// The input of a run of `address` as a fresh window hands it over: the payload, time-out and
// requests of a fresh settings file, results in green and the address line in purple.
inline TPingRunInput PingInput(const QString &address) {
    TPingRunInput input;
    input.PingAddress = address;
    input.DebugColor = QColor(0, 200, 0);
    input.ResultsColor = QColor(200, 0, 200);
    return input;
}

// What a run writes to, as a window hands it over: both panes, the charts (bars and graph as a
// fresh window prepares them), the graph's next x position and every progress caption, with the
// header's clock fixed at 09.12.2018 14:03:07.051. The real echo service answers unless a test
// hands another to targets.Connect, or a script to Answer.
struct RunPanes {
    RunPanes() {
        targets.DebugMemo = &debugMemo;
        targets.AddressMemo = &addressMemo;
        targets.Charts = &charts;
        targets.PositionX = &positionX;
        targets.SetProgress = [this](const QString &text) { progress << text; };
        targets.Now = [] { return QDateTime(QDate(2018, 12, 9), QTime(14, 3, 7, 51)); };
    }
    RunPanes(const RunPanes &) = delete;
    RunPanes &operator=(const RunPanes &) = delete;

    // The next run's service answers from `script`; `connections` counts its openings and
    // `queries` records its requests as query texts.
    void Answer(Script script) {
        auto shared = std::make_shared<Script>(std::move(script));
        targets.Connect = [this, shared]() -> std::unique_ptr<TEchoService> {
            ++connections;
            return std::make_unique<ScriptedEchoService>(std::move(*shared), &queries);
        };
    }

    TPingRunTargets targets;
    QTextDocument debugMemo;
    QTextDocument addressMemo;
    ChartRecorder charts;
    double positionX = 0;
    QStringList progress;
    QStringList queries;
    int connections = 0;
};
