#include "ping/ListRun.h"

#include <QEventLoop>
#include <QObject>

#include "ping/RunSession.h"

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
