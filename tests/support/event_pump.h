#pragma once

// Waiting on the UI thread for what arrives through its event loop.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <functional>

namespace velmora::test {

// Runs the event loop until done() holds or the time is up; gives done().
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < limit.count())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// Runs the event loop for the whole time.
inline void PumpFor(std::chrono::milliseconds time) {
    PumpUntil([] { return false; }, time);
}

} // namespace velmora::test
