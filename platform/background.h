// Work that takes long (decoding a big photo) runs on a worker thread while the caller's thread goes on
// serving its events, so that the window repaints, the clock ticks and input is taken in meanwhile.
#pragma once

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace platform {

// Returns work's result once it is done. Events run during the wait, as during a slide: whatever must not
// run then is the caller's to hold back.
template <typename Work> auto runServingEvents(Work work) -> decltype(work()) {
    QFutureWatcher<decltype(work())> watcher;
    bool finished = false;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, [&finished] { finished = true; });
    watcher.setFuture(QtConcurrent::run(std::move(work)));
    // Waiting in place rather than in a nested event loop, which would discard a quit already posted.
    while (!finished) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return watcher.result();
}

} // namespace platform
