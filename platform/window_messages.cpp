#include "window_messages.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <mutex>

namespace velmora {

WindowMessage::WindowMessage(int message, WPARAM wParam, LPARAM lParam)
    : QEvent(eventType(message)), wParam_(wParam), lParam_(lParam) {}

bool WindowMessage::isWindowMessage(const QEvent* e) {
    return e && e->type() >= QEvent::User && e->type() <= QEvent::MaxUser &&
           dynamic_cast<const WindowMessage*>(e) != nullptr;
}

bool IsUiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

namespace {

LRESULT deliver(Handle window, int message, WPARAM wParam, LPARAM lParam) {
    QObject* target = WindowFromHandle(window);
    if (!target)
        return 0;
    WindowMessage event(message, wParam, lParam);
    QCoreApplication::sendEvent(target, &event);
    return event.result();
}

// The meeting point of a worker's send and its delivery on the UI thread.
struct PendingSend {
    std::mutex mutex;
    std::condition_variable_any handled;
    bool started = false;
    bool done = false;
    bool abandoned = false;
    LRESULT result = 0;

    void finish(LRESULT r) {
        {
            std::lock_guard lock(mutex);
            if (done)
                return;
            result = r;
            done = true;
        }
        handled.notify_all();
    }
};

// Qt's event queue hands a queued call to the UI thread under a lock that
// race detectors cannot see (Qt is not built for them); taking this mutex on
// both sides makes the hand-over of the call's captures visible.
std::mutex& handOverMutex() {
    static std::mutex mutex;
    return mutex;
}

// Runs fn on the UI thread later, in posting order. False when there is no
// application to run it.
template <class Fn> bool queueOnUiThread(Fn&& fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    std::lock_guard lock(handOverMutex());
    return QMetaObject::invokeMethod(
        app,
        [call = std::forward<Fn>(fn)]() mutable {
            { std::lock_guard handedOver(handOverMutex()); }
            call();
        },
        Qt::QueuedConnection);
}

} // namespace

LRESULT SendMessage(Handle window, int message, WPARAM wParam, LPARAM lParam,
                    std::stop_token stop) {
    if (!window || !QCoreApplication::instance())
        return 0;
    if (IsUiThread())
        return deliver(window, message, wParam, lParam);

    auto pending = std::make_shared<PendingSend>();
    // Whether the queued call runs or is discarded (application gone), the
    // last copy of this token releases the waiting worker.
    std::shared_ptr<void> release(nullptr, [pending](void*) { pending->finish(0); });
    bool queued = queueOnUiThread([pending, release, window, message, wParam, lParam] {
        {
            std::lock_guard lock(pending->mutex);
            if (pending->abandoned)
                return;
            pending->started = true;
        }
        pending->finish(deliver(window, message, wParam, lParam));
    });
    release.reset();
    if (!queued)
        return 0;

    std::unique_lock lock(pending->mutex);
    pending->handled.wait(lock, stop, [&] { return pending->done; });
    if (pending->done)
        return pending->result;
    if (!pending->started) {
        // Stop was requested before the UI thread took the message: it
        // will never be delivered, so the caller's texts may go.
        pending->abandoned = true;
        return 0;
    }
    // Delivery is under way on the UI thread; it must finish before the
    // caller's texts go out of scope.
    pending->handled.wait(lock, [&] { return pending->done; });
    return pending->result;
}

LRESULT SendMessage(QObject* window, int message, WPARAM wParam, LPARAM lParam,
                    std::stop_token stop) {
    return SendMessage(HandleOf(window), message, wParam, lParam, std::move(stop));
}

bool PostMessage(Handle window, int message, WPARAM wParam, LPARAM lParam) {
    if (!window)
        return false;
    return queueOnUiThread(
        [window, message, wParam, lParam] { deliver(window, message, wParam, lParam); });
}

bool PostTextMessage(Handle window, int message, std::string wParamText, std::string lParamText) {
    if (!window)
        return false;
    // Qt's event queue hands the texts over correctly, but with a lock that
    // race detectors cannot see; this mutex makes the hand-over visible.
    struct OwnedTexts {
        std::mutex mutex;
        std::string wParam;
        std::string lParam;
    };
    auto texts = std::make_shared<OwnedTexts>();
    {
        std::lock_guard lock(texts->mutex);
        texts->wParam = std::move(wParamText);
        texts->lParam = std::move(lParamText);
    }
    return queueOnUiThread([window, message, texts] {
        std::lock_guard lock(texts->mutex);
        deliver(window, message, reinterpret_cast<WPARAM>(texts->wParam.c_str()),
                reinterpret_cast<LPARAM>(texts->lParam.c_str()));
    });
}

} // namespace velmora
