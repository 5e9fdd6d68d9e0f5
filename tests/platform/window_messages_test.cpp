#include "event_pump.h"
#include "window_messages.h"

#include <QCoreApplication>
#include <QObject>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace velmora;

namespace {

// A window that records the messages it handles and answers wParam + lParam.
class RecordingWindow : public QObject {
public:
    struct Received {
        int message;
        WPARAM wParam;
        LPARAM lParam;
        std::string text;
        std::string wText;
        bool onUiThread;
    };
    std::vector<Received> received;

protected:
    void customEvent(QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return;
        auto* m = static_cast<WindowMessage*>(e);
        std::string text, wText;
        if (m->message() == UM_DOWNLOAD_DONE || m->message() == UM_SET_BAR_TEXT)
            text = m->lParam() ? paramText(m->lParam()) : "";
        if (m->message() == UM_DOWNLOAD_DONE && m->wParam() != 1)
            wText = paramText(static_cast<LPARAM>(m->wParam()));
        received.push_back({m->message(), m->wParam(), m->lParam(), text, wText, IsUiThread()});
        m->setResult(static_cast<LRESULT>(m->wParam()) + m->lParam());
    }
};

} // namespace

TEST(WindowMessages, SendOnUiThreadIsHandledBeforeReturn) {
    RecordingWindow window;
    std::string text = "Playing: song.mp3";
    LRESULT r = SendMessage(&window, UM_SET_BAR_TEXT, 5, textParam(text));
    ASSERT_EQ(window.received.size(), 1u);
    EXPECT_EQ(window.received[0].text, "Playing: song.mp3");
    EXPECT_EQ(r, static_cast<LRESULT>(5 + textParam(text)));
}

TEST(WindowMessages, WorkerSendWaitsUntilUiThreadHandledIt) {
    RecordingWindow window;
    Handle h = HandleOf(&window);
    std::atomic<bool> returned{false};
    LRESULT result = 0;
    std::thread worker([&] {
        std::string text = "C:/cache/song.mp3"; // lives on the worker's stack only
        result = SendMessage(h, UM_DOWNLOAD_DONE, 1, textParam(text));
        returned = true;
    });
    // The UI thread has not run its loop yet: the worker must still be waiting.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load());
    EXPECT_TRUE(window.received.empty());
    ASSERT_TRUE(velmora::test::PumpUntil([&] { return returned.load(); }));
    worker.join();
    ASSERT_EQ(window.received.size(), 1u);
    EXPECT_TRUE(window.received[0].onUiThread);
    EXPECT_EQ(window.received[0].text, "C:/cache/song.mp3");
    EXPECT_NE(result, 0);
}

TEST(WindowMessages, SendToDestroyedWindowIsDroppedAndReturnsZero) {
    auto* window = new RecordingWindow;
    Handle h = HandleOf(window);
    delete window;
    EXPECT_EQ(SendMessage(h, UM_SET_BAR_TEXT, 1, 2), 0);
    std::atomic<LRESULT> r{-1};
    std::thread worker([&] { r = SendMessage(h, UM_SET_BAR_TEXT, 1, 2); });
    ASSERT_TRUE(velmora::test::PumpUntil([&] { return r.load() == 0; }));
    worker.join();
    EXPECT_EQ(r.load(), 0);
}

TEST(WindowMessages, WindowDestroyedWhileWorkerWaitsReleasesTheWorker) {
    auto* window = new RecordingWindow;
    Handle h = HandleOf(window);
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        SendMessage(h, UM_PLAYER_BUSY, 0, 0);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    delete window; // before the UI thread gets to the message
    ASSERT_TRUE(velmora::test::PumpUntil([&] { return returned.load(); }));
    worker.join();
}

TEST(WindowMessages, StopRequestAbandonsAnUndeliveredSend) {
    // The UI thread waits for the worker (as a stop does) without running its
    // loop; the worker's send must give up instead of deadlocking.
    RecordingWindow window;
    Handle h = HandleOf(&window);
    std::jthread worker([h](std::stop_token st) {
        std::string text = "abandoned";
        SendMessage(h, UM_SET_BAR_TEXT, 0, textParam(text), st);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    worker.request_stop();
    worker.join();
    // The abandoned message is never delivered later.
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.received.empty());
}

TEST(WindowMessages, PostedTextsAreOwnedAndOrderIsKept) {
    RecordingWindow window;
    Handle h = HandleOf(&window);
    std::thread worker([h] {
        for (int i = 0; i < 3; ++i) {
            std::string context = "ctx" + std::to_string(i);
            PostTextMessage(h, UM_DOWNLOAD_DONE, i == 1 ? "Disk full" : "", context);
        } // the worker's texts are gone before delivery
        PostMessage(h, UM_PLAYING_ENDED, 7, 8);
    });
    worker.join();
    EXPECT_TRUE(window.received.empty()); // posted: nothing before the loop runs
    ASSERT_TRUE(velmora::test::PumpUntil([&] { return window.received.size() == 4; }));
    EXPECT_EQ(window.received[0].text, "ctx0");
    EXPECT_EQ(window.received[1].text, "ctx1");
    EXPECT_EQ(window.received[2].text, "ctx2");
    EXPECT_EQ(window.received[0].wText, "");
    EXPECT_EQ(window.received[1].wText, "Disk full");
    EXPECT_EQ(window.received[3].message, UM_PLAYING_ENDED);
    EXPECT_EQ(window.received[3].wParam, 7u);
}

TEST(WindowMessages, PostToWindowGoneBeforeDeliveryIsDropped) {
    auto* window = new RecordingWindow;
    Handle h = HandleOf(window);
    ASSERT_TRUE(PostTextMessage(h, UM_UPLOAD_DONE, "error", "context"));
    delete window;
    QCoreApplication::processEvents(); // must not touch the dead window
    EXPECT_FALSE(PostMessage(0, UM_UPLOAD_DONE));
    EXPECT_EQ(WindowFromHandle(h), nullptr);
}
