// The player view's queue against a stand-in control whose play state the
// test sets, so the order of entries, repeat and notifications can be
// checked quickly and without a media backend.
#include "component_factory.h"
#include "component_interfaces.h"
#include "event_pump.h"
#include "play_queue.h"
#include "temp_settings.h"
#include "velmora_player_view.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

class FakeControl : public IPlayerControl {
public:
    void SetURL(const QString& url) override {
        url_ = url;
        state = kPlayStateReady;
        error_ = missing.count(url.toStdString()) ? "No such file or directory" : "";
    }
    QString ErrorText() const override { return error_; }
    void Play() override {
        played.push_back(url_.toStdString());
        state = kPlayStatePlaying;
    }
    int GetPlayState() const override { return state; }
    QWidget* Window() override { return nullptr; }

    std::vector<std::string> played;
    std::set<std::string> missing; // paths that cannot be opened
    int state = kPlayStateUndefined;

private:
    QString url_;
    QString error_;
};

// The window that queued the files: records what the view tells it.
class NotifyWindow : public QObject {
public:
    struct Note {
        int message;
        std::int32_t item;
        std::string name;
    };
    std::vector<Note> notes;

    int count(int message, std::int32_t item) const {
        int n = 0;
        for (const Note& note : notes)
            n += note.message == message && note.item == item;
        return n;
    }
    std::string tail(std::int32_t item) {
        return std::to_string(HandleOf(this)) + "|" + std::to_string(item);
    }

protected:
    void customEvent(QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return;
        auto* m = static_cast<WindowMessage*>(e);
        const auto item = static_cast<std::int32_t>(static_cast<LPARAM>(m->wParam()));
        notes.push_back(
            {m->message(), item, m->message() == UM_NOW_PLAYING ? paramText(m->lParam()) : ""});
    }
};

using test::PumpFor;
using test::PumpUntil;

class PlayQueueTest : public ::testing::Test {
protected:
    static constexpr std::chrono::milliseconds kPeriod = 20ms;

    void Make(std::string repeatSetting = "no", bool settingsFail = false,
              std::chrono::milliseconds period = kPeriod) {
        settings.store()->SetValue("repeat_on_play", repeatSetting);
        if (settingsFail)
            settings.failReadsAndWrites();
        auto c = std::make_unique<FakeControl>();
        control = c.get();
        view = std::make_unique<Cvelmora_playerView>(std::move(c), nullptr, period);
        view->OnInitialUpdate();
    }

    void Queue(const std::string& path, const std::string& tail) {
        SendMessage(view.get(), UM_MEDIA_FILE, reinterpret_cast<WPARAM>(tail.c_str()),
                    textParam(path));
    }

    // Waits for the next entry to start, then lets it end.
    std::string PlayNext(int state = kPlayStateMediaEnded) {
        const std::size_t before = control->played.size();
        if (!PumpUntil([&] { return control->played.size() > before; }))
            return "<nothing started>";
        control->state = state;
        return control->played.back();
    }

    test::TempSettings settings;
    FakeControl* control = nullptr;
    NotifyWindow library;
    std::unique_ptr<Cvelmora_playerView> view;
};

} // namespace

TEST(PlayQueueEntry, PathAndNotifyFieldsSurviveTheEntryText) {
    EntryFields f = ParseEntry(MakeEntry("/m/song.mp3", "17|42"));
    EXPECT_EQ(f.path, "/m/song.mp3");
    EXPECT_EQ(f.notifyWindow, 17u);
    EXPECT_EQ(f.itemId, 42);

    f = ParseEntry(MakeEntry("/m/song.mp3", "0~0"));
    EXPECT_EQ(f.path, "/m/song.mp3");
    EXPECT_EQ(f.notifyWindow, 0u);
    EXPECT_EQ(f.itemId, 0);

    // A bar in a file name must not turn part of the name into a window.
    f = ParseEntry(MakeEntry("/m/a|5|9 100%7C.mp3", "0~0"));
    EXPECT_EQ(f.path, "/m/a|5|9 100%7C.mp3");
    EXPECT_EQ(f.notifyWindow, 0u);

    // Only leading digits count; item ids may be negative, windows not.
    f = ParseEntry("/x.au|12abc|-3xyz");
    EXPECT_EQ(f.notifyWindow, 12u);
    EXPECT_EQ(f.itemId, -3);
    f = ParseEntry("/x.au|-12|4");
    EXPECT_EQ(f.notifyWindow, 0u);
    f = ParseEntry("/x.au|99999999999999999999999|4");
    EXPECT_EQ(f.notifyWindow, 0u);
    f = ParseEntry("/x.au");
    EXPECT_EQ(f.path, "/x.au");
    EXPECT_EQ(f.notifyWindow, 0u);
}

TEST_F(PlayQueueTest, ThreeFilesPlayInOrderEachOnceWithOneStartAndEndEach) {
    Make();
    Queue("/m/one.mp3", library.tail(1));
    Queue("/m/two.wma", library.tail(2));
    Queue("/m/three.au", library.tail(3));

    EXPECT_EQ(PlayNext(), "/m/one.mp3");
    EXPECT_EQ(PlayNext(), "/m/two.wma");
    EXPECT_EQ(PlayNext(), "/m/three.au");
    // The last end is reported at the next poll, however late a loaded
    // machine runs it; several more polls while idle then replay nothing and
    // report nothing twice.
    EXPECT_TRUE(PumpUntil([&] { return library.notes.size() >= 6; }));
    PumpFor(kPeriod * 8);
    EXPECT_EQ(control->played.size(), 3u);
    EXPECT_EQ(view->Queue().Size(), 0u);

    const std::vector<std::pair<int, std::int32_t>> expected = {
        {UM_NOW_PLAYING, 1},   {UM_PLAYING_ENDED, 1}, {UM_NOW_PLAYING, 2},
        {UM_PLAYING_ENDED, 2}, {UM_NOW_PLAYING, 3},   {UM_PLAYING_ENDED, 3}};
    ASSERT_EQ(library.notes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(library.notes[i].message, expected[i].first) << i;
        EXPECT_EQ(library.notes[i].item, expected[i].second) << i;
    }
    EXPECT_EQ(library.notes[0].name, "one.mp3");
    EXPECT_EQ(library.notes[4].name, "three.au");
}

TEST_F(PlayQueueTest, RepeatFromSettingsCyclesTheList) {
    Make("yes");
    EXPECT_TRUE(view->Queue().Repeat());
    Queue("/m/a.mp3", "0~0");
    Queue("/m/b.mp3", "0~0");
    std::vector<std::string> order;
    for (int i = 0; i < 5; ++i)
        order.push_back(PlayNext());
    EXPECT_EQ(order, (std::vector<std::string>{"/m/a.mp3", "/m/b.mp3", "/m/a.mp3", "/m/b.mp3",
                                               "/m/a.mp3"}));
    EXPECT_EQ(view->Queue().Size(), 2u);
}

TEST_F(PlayQueueTest, AFileGoneFromTheCacheIsToldOnceAndRepeatLeavesItOut) {
    // The window the view stands in: it shows the message bar's texts.
    struct Frame : QWidget {
        std::vector<std::string> texts;
        void customEvent(QEvent* e) override {
            if (!WindowMessage::isWindowMessage(e))
                return;
            if (auto* m = static_cast<WindowMessage*>(e); m->message() == UM_SET_BAR_TEXT)
                texts.push_back(paramText(m->lParam()));
        }
    } frame;
    Make("yes");
    view->setParent(&frame);
    control->missing = {"/m/gone.mp3"};
    Queue("/m/gone.mp3", library.tail(1));
    Queue("/m/b.mp3", library.tail(2));
    EXPECT_EQ(PlayNext(), "/m/b.mp3");
    EXPECT_EQ(PlayNext(), "/m/b.mp3");
    EXPECT_EQ(view->Queue().Size(), 1u);
    EXPECT_EQ(library.count(UM_NOW_PLAYING, 1), 0);
    EXPECT_EQ(frame.texts,
              std::vector<std::string>{"Cannot play gone.mp3: No such file or directory"});
    view->setParent(nullptr);
}

TEST_F(PlayQueueTest, RepeatSwitchedOnMidListKeepsOnlyEntriesTakenAfterwards) {
    Make();
    Queue("/m/a.mp3", "0~0");
    Queue("/m/b.mp3", "0~0");
    Queue("/m/c.mp3", "0~0");
    // a is taken while repeat is off; it does not come back.
    PumpUntil([&] { return control->played.size() == 1; });
    std::string yes = "yes";
    SendMessage(view.get(), UM_SET_REPEAT, 0, textParam(yes));
    control->state = kPlayStateMediaEnded;
    std::vector<std::string> order{control->played[0]};
    for (int i = 0; i < 5; ++i)
        order.push_back(PlayNext());
    EXPECT_EQ(order, (std::vector<std::string>{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/b.mp3",
                                               "/m/c.mp3", "/m/b.mp3"}));
}

TEST_F(PlayQueueTest, OnlyTheExactTextYesSwitchesRepeatOn) {
    Make("Yes");
    EXPECT_FALSE(view->Queue().Repeat());
    std::string yes = "yes", no = "no", upper = "YES";
    SendMessage(view.get(), UM_SET_REPEAT, 0, textParam(yes));
    EXPECT_TRUE(view->Queue().Repeat());
    SendMessage(view.get(), UM_SET_REPEAT, 0, textParam(upper));
    EXPECT_FALSE(view->Queue().Repeat());
    SendMessage(view.get(), UM_SET_REPEAT, 0, textParam(yes));
    SendMessage(view.get(), UM_SET_REPEAT, 0, 0);
    EXPECT_FALSE(view->Queue().Repeat());
}

TEST_F(PlayQueueTest, FailingSettingsStoreStillBringsTheQueueUpWithRepeatOff) {
    Make("yes", /*settingsFail=*/true);
    EXPECT_FALSE(view->Queue().Repeat());
    EXPECT_TRUE(view->Queue().Running());
    Queue("/m/a.mp3", "0~0");
    EXPECT_EQ(PlayNext(), "/m/a.mp3");
}

TEST_F(PlayQueueTest, EntriesWithoutANotifyWindowOrItemSendOnlyWhatTheyMay) {
    Make();
    NotifyWindow other;
    Queue("/m/plain.mp3", "0~0");
    Queue("/m/zero-window.mp3", "0|5");
    Queue("/m/zero-item.mp3", library.tail(0));
    // The file name holds a real window's handle between bars.
    Queue("/m/x|" + std::to_string(HandleOf(&other)) + "|8.mp3", "0~0");
    Queue("/m/last.mp3", library.tail(7));
    for (int i = 0; i < 5; ++i)
        PlayNext();
    PumpFor(kPeriod * 4);

    EXPECT_EQ(control->played[3], "/m/x|" + std::to_string(HandleOf(&other)) + "|8.mp3");
    EXPECT_TRUE(other.notes.empty());
    // The entry with item 0 is announced but its end is not.
    ASSERT_EQ(library.notes.size(), 3u);
    EXPECT_EQ(library.notes[0].message, UM_NOW_PLAYING);
    EXPECT_EQ(library.notes[0].item, 0);
    EXPECT_EQ(library.notes[0].name, "zero-item.mp3");
    EXPECT_EQ(library.count(UM_NOW_PLAYING, 7), 1);
    EXPECT_EQ(library.count(UM_PLAYING_ENDED, 7), 1);
}

TEST_F(PlayQueueTest, PausedEntryHoldsTheQueueUntilStopped) {
    Make();
    Queue("/m/a.mp3", library.tail(1));
    Queue("/m/b.mp3", library.tail(2));
    PlayNext(kPlayStatePaused);
    PumpFor(kPeriod * 10);
    EXPECT_EQ(control->played.size(), 1u);
    EXPECT_EQ(library.count(UM_PLAYING_ENDED, 1), 0);
    for (int busy : {kPlayStateBuffering, kPlayStateTransitioning}) {
        control->state = busy;
        PumpFor(kPeriod * 4);
        EXPECT_EQ(control->played.size(), 1u) << busy;
    }
    control->state = kPlayStateStopped;
    EXPECT_EQ(PlayNext(), "/m/b.mp3");
    EXPECT_EQ(library.count(UM_PLAYING_ENDED, 1), 1);
}

TEST_F(PlayQueueTest, StoppedEntryEndsAndTheNextStartsWithinOnePeriod) {
    constexpr auto period = 200ms;
    Make("no", false, period);
    Queue("/m/a.mp3", library.tail(1));
    Queue("/m/b.mp3", library.tail(2));
    ASSERT_TRUE(PumpUntil([&] { return control->played.size() == 1; }));
    // Let the worker settle into its wait right after handing a over.
    PumpFor(20ms);
    QElapsedTimer sinceStop;
    sinceStop.start();
    control->state = kPlayStateStopped;
    ASSERT_TRUE(PumpUntil([&] { return control->played.size() == 2; }));
    EXPECT_LE(sinceStop.elapsed(), (period + 80ms).count());
    ASSERT_EQ(library.notes.size(), 3u);
    EXPECT_EQ(library.notes[1].message, UM_PLAYING_ENDED);
    EXPECT_EQ(library.notes[1].item, 1);
    EXPECT_EQ(library.notes[2].message, UM_NOW_PLAYING);
    EXPECT_EQ(library.notes[2].item, 2);
}

TEST_F(PlayQueueTest, EntryWhoseNotifyWindowIsGoneStillPlaysAndTheQueueGoesOn) {
    Make();
    auto gone = std::make_unique<NotifyWindow>();
    const std::string tail = gone->tail(3);
    gone.reset();
    Queue("/m/a.mp3", tail);
    Queue("/m/b.mp3", "0~0");
    EXPECT_EQ(PlayNext(), "/m/a.mp3");
    EXPECT_EQ(PlayNext(), "/m/b.mp3");
}

TEST_F(PlayQueueTest, BadMediaFileMessagesAreIgnoredOrPlaySilently) {
    Make();
    SendMessage(view.get(), UM_MEDIA_FILE, 0, 0);
    std::string empty;
    SendMessage(view.get(), UM_MEDIA_FILE, 0, textParam(empty));
    EXPECT_EQ(view->Queue().Size(), 0u);
    std::string path = "/m/no-tail.mp3";
    SendMessage(view.get(), UM_MEDIA_FILE, 0, textParam(path));
    EXPECT_EQ(PlayNext(), path);
    SendMessage(view.get(), UM_PLAY_ENTRY, 0, 0);
    EXPECT_EQ(control->played.size(), 1u);
}

TEST_F(PlayQueueTest, AnEntryPlayedOverAnotherEndsTheFirst) {
    Make();
    std::string first = MakeEntry("/m/a.mp3", library.tail(1));
    std::string second = MakeEntry("/m/b.mp3", library.tail(2));
    SendMessage(view.get(), UM_PLAY_ENTRY, 0, textParam(first));
    SendMessage(view.get(), UM_PLAY_ENTRY, 0, textParam(second));
    EXPECT_EQ(library.count(UM_PLAYING_ENDED, 1), 1);
    EXPECT_EQ(library.count(UM_NOW_PLAYING, 2), 1);
    EXPECT_EQ(library.count(UM_PLAYING_ENDED, 2), 0);
}

TEST_F(PlayQueueTest, DestroyingTheViewWhileTheWorkerWaitsOnItReturnsAtOnce) {
    constexpr auto period = 10ms;
    Make("no", false, period);
    Queue("/m/a.mp3", "0~0");
    ASSERT_TRUE(PumpUntil([&] { return control->played.size() == 1; }));
    // The UI thread stops handling messages: the worker's next send waits.
    QThread::msleep(period.count() * 5);
    QElapsedTimer timer;
    timer.start();
    view.reset();
    EXPECT_LT(timer.elapsed(), 250);
    // The send that was abandoned must not reach the view that is gone.
    PumpFor(50ms);
}

TEST(PlayQueueWorker, WithoutAnOwnerNothingIsTakenOff) {
    PlayQueue queue(5ms);
    queue.Add("/m/a.mp3", "0~0");
    EXPECT_FALSE(queue.Add("", "0~0"));
    queue.Start();
    PumpFor(50ms);
    EXPECT_EQ(queue.Size(), 1u);
    queue.Stop();
    EXPECT_FALSE(queue.Running());
    queue.Start();
    EXPECT_FALSE(queue.Running());
}
