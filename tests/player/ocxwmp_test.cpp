// The media player control through the real media backend, headless and
// with no audio device: generated tones play to the end, files that cannot
// be played leave the player idle, pictures show for their set time.
#include "ocxwmp.h"
#include "tagged_media.h"
#include "tone_files.h"
#include "velmora_player_view.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

template <class Cond> bool PumpUntil(Cond cond, std::chrono::milliseconds limit = 10000ms) {
    QElapsedTimer timer;
    timer.start();
    while (!cond() && timer.elapsed() < limit.count())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return cond();
}

// Every state the control announces, in order.
struct StateLog {
    explicit StateLog(COcxwmp& c) {
        QObject::connect(&c, &COcxwmp::playStateChanged, &c,
                         [this](int s) { states.push_back(s); });
    }
    bool saw(int s) const { return std::find(states.begin(), states.end(), s) != states.end(); }
    std::vector<int> states;
};

class OcxwmpTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const {
        return dir.filePath(QString::fromStdString(name)).toStdString();
    }
    QTemporaryDir dir;
};

struct ToneCase {
    const char* name;
    std::function<bool(const std::string&, double)> write;
    friend void PrintTo(const ToneCase& c, std::ostream* os) { *os << c.name; }
};

class OcxwmpToneTest : public OcxwmpTest, public ::testing::WithParamInterface<ToneCase> {};

} // namespace

TEST_P(OcxwmpToneTest, GeneratedTonePlaysToTheEnd) {
    const std::string path = Path(GetParam().name);
    ASSERT_TRUE(GetParam().write(path, 0.5));
    COcxwmp control;
    StateLog log(control);
    EXPECT_EQ(control.GetPlayState(), kPlayStateUndefined);
    control.SetURL(QString::fromStdString(path));
    EXPECT_EQ(control.GetURL(), QString::fromStdString(path));
    control.controls().play();
    // Busy from the moment play is asked for, so a poll in between never
    // mistakes the file for finished.
    EXPECT_FALSE(IsIdlePlayState(control.GetPlayState()));

    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(PumpUntil([&] { return control.GetPlayState() == kPlayStateMediaEnded; }))
        << "state " << control.GetPlayState() << " error " << control.ErrorText().toStdString();
    EXPECT_GE(timer.elapsed(), 400);
    EXPECT_TRUE(log.saw(kPlayStatePlaying));
    const auto playing = std::find(log.states.begin(), log.states.end(), kPlayStatePlaying);
    const auto ended = std::find(log.states.begin(), log.states.end(), kPlayStateMediaEnded);
    EXPECT_LT(playing, ended);
    EXPECT_TRUE(control.ErrorText().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Formats, OcxwmpToneTest,
    ::testing::Values(ToneCase{"tone.au", [](const std::string& p,
                                             double s) { return test::WriteAuTone(p, s); }},
                      ToneCase{"tone.aiff", [](const std::string& p,
                                               double s) { return test::WriteAiffTone(p, s); }}),
    [](const auto& info) {
        std::string n = info.param.name;
        return n.substr(n.find('.') + 1);
    });

TEST_F(OcxwmpTest, TransportControlsAnswerAtOnceAndStopCountsAsStopped) {
    const std::string path = Path("long.au");
    ASSERT_TRUE(test::WriteAuTone(path, 3.0));
    COcxwmp control;
    // How long one call kept the window from handling events.
    auto took = [](auto call) {
        QElapsedTimer timer;
        timer.start();
        call();
        return timer.elapsed();
    };
    control.SetURL(QString::fromStdString(path));
    EXPECT_EQ(control.GetPlayState(), kPlayStateTransitioning);
    control.controls().play();
    ASSERT_TRUE(PumpUntil([&] { return control.GetPlayState() == kPlayStatePlaying; }));
    // Straight after starting, before the pipeline has settled.
    EXPECT_LT(took([&] { control.controls().stop(); }), 300);
    EXPECT_EQ(control.GetPlayState(), kPlayStateStopped);
    EXPECT_LT(took([&] { control.controls().play(); }), 300);
    ASSERT_TRUE(PumpUntil([&] { return control.GetPlayState() == kPlayStatePlaying; }));
    EXPECT_LT(took([&] { control.controls().pause(); }), 300);
    EXPECT_EQ(control.GetPlayState(), kPlayStatePaused);
    PumpUntil([] { return false; }, 100ms);
    EXPECT_EQ(control.GetPlayState(), kPlayStatePaused);
    control.controls().stop();
    EXPECT_EQ(control.GetPlayState(), kPlayStateStopped);
    // A stopped file stays stopped: pause does not bring it back.
    control.controls().pause();
    EXPECT_EQ(control.GetPlayState(), kPlayStateStopped);
}

TEST_F(OcxwmpTest, Mp3LoadedAfterAStoppedFilePlaysInFull) {
    const std::string held = Path("held.aiff"), next = Path("next.mp3");
    ASSERT_TRUE(test::WriteAiffTone(held, 3.0));
    // Tagged, as MP3s mostly are: the tag is what a backend held paused trips over.
    ASSERT_TRUE(test::MakeMp3(QString::fromStdString(next), 1.0, {"T", "A", "L"}));
    COcxwmp control;
    control.SetURL(QString::fromStdString(held));
    control.controls().play();
    ASSERT_TRUE(PumpUntil([&] { return control.GetPlayState() == kPlayStatePlaying; }));
    control.controls().stop();
    PumpUntil([] { return false; }, 300ms);

    QElapsedTimer timer;
    timer.start();
    control.SetURL(QString::fromStdString(next));
    control.controls().play();
    ASSERT_TRUE(PumpUntil([&] { return control.GetPlayState() == kPlayStateMediaEnded; }));
    EXPECT_GE(timer.elapsed(), 900) << "ended before it had played";
}

TEST_F(OcxwmpTest, ManyShortFilesInARowAllPlayToTheEnd) {
    COcxwmp control;
    for (int i = 0; i < 25; ++i) {
        const std::string path = Path("short" + std::to_string(i) + (i % 2 ? ".au" : ".aiff"));
        ASSERT_TRUE(i % 2 ? test::WriteAuTone(path, 0.1) : test::WriteAiffTone(path, 0.1));
        control.SetURL(QString::fromStdString(path));
        control.controls().play();
        ASSERT_TRUE(PumpUntil([&] { return control.GetPlayState() == kPlayStateMediaEnded; }))
            << path << " state " << control.GetPlayState();
    }
}

TEST_F(OcxwmpTest, FilesThatCannotBePlayedLeaveThePlayerIdle) {
    const std::string noise = Path("noise.mp3");
    std::string bytes(20000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 7919u + 13u) % 251u);
    ASSERT_TRUE(test::WriteBytes(noise, bytes));
    const std::string playlist = Path("list.m3u");
    ASSERT_TRUE(test::WriteBytes(playlist, "#EXTM3U\n" + Path("tone.au") + "\n"));

    for (const std::string& path : {noise, playlist, Path("missing.au")}) {
        COcxwmp control;
        control.SetURL(QString::fromStdString(path));
        control.controls().play();
        EXPECT_TRUE(PumpUntil([&] { return IsIdlePlayState(control.GetPlayState()); }))
            << path << " state " << control.GetPlayState();
        EXPECT_EQ(control.GetPlayState(), kPlayStateReady) << path;
        EXPECT_FALSE(control.ErrorText().isEmpty()) << path;
    }
}

TEST_F(OcxwmpTest, AfterAFailedFileTheNextPlaysInFullWithoutFreezingTheWindow) {
    const std::string noise = Path("noise.wma"), tone = Path("tone.au");
    ASSERT_TRUE(test::WriteBytes(noise, std::string(30000, '\x5a')));
    ASSERT_TRUE(test::WriteAuTone(tone, 0.5));

    // The longest time the event loop was kept from running.
    qint64 longestTurn = 0;
    auto pumpUntil = [&](auto cond, qint64 limit) {
        QElapsedTimer total, turn;
        total.start();
        while (!cond() && total.elapsed() < limit) {
            turn.start();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            longestTurn = std::max(longestTurn, turn.elapsed());
        }
        return cond();
    };

    COcxwmp control;
    control.SetURL(QString::fromStdString(noise));
    control.controls().play();
    ASSERT_TRUE(pumpUntil([&] { return control.GetPlayState() == kPlayStateReady; }, 10000));
    // Whatever the control does to recover happens in these turns.
    pumpUntil([] { return false; }, 100);

    QElapsedTimer timer;
    timer.start();
    control.SetURL(QString::fromStdString(tone));
    control.controls().play();
    ASSERT_TRUE(pumpUntil([&] { return control.GetPlayState() == kPlayStateMediaEnded; }, 10000));
    EXPECT_GE(timer.elapsed(), 400);
    EXPECT_TRUE(control.ErrorText().isEmpty());
    EXPECT_LT(longestTurn, 500);
}

TEST_F(OcxwmpTest, PictureShowsForItsTimeThenEnds) {
    const std::string path = Path("photo.JPG");
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(QString::fromStdString(path), "JPG"));

    COcxwmp control;
    control.SetPictureDuration(300ms);
    control.SetURL(QString::fromStdString(path));
    EXPECT_EQ(control.GetPlayState(), kPlayStateReady);
    QElapsedTimer timer;
    timer.start();
    control.controls().play();
    EXPECT_EQ(control.GetPlayState(), kPlayStatePlaying);
    ASSERT_TRUE(PumpUntil([&] { return control.GetPlayState() == kPlayStateMediaEnded; }, 3000ms));
    EXPECT_GE(timer.elapsed(), 290);

    // Paused time does not count.
    control.controls().play();
    PumpUntil([] { return false; }, 100ms);
    control.controls().pause();
    EXPECT_EQ(control.GetPlayState(), kPlayStatePaused);
    PumpUntil([] { return false; }, 400ms);
    EXPECT_EQ(control.GetPlayState(), kPlayStatePaused);
    timer.restart();
    control.controls().play();
    ASSERT_TRUE(PumpUntil([&] { return control.GetPlayState() == kPlayStateMediaEnded; }, 3000ms));
    EXPECT_LT(timer.elapsed(), 290);
    EXPECT_GE(timer.elapsed(), 150);

    control.controls().play();
    control.controls().stop();
    EXPECT_EQ(control.GetPlayState(), kPlayStateStopped);
}

TEST_F(OcxwmpTest, PictureThatCannotBeReadLeavesThePlayerReady) {
    const std::string path = Path("broken.jpeg");
    ASSERT_TRUE(test::WriteBytes(path, "not a picture"));
    COcxwmp control;
    control.SetURL(QString::fromStdString(path));
    control.controls().play();
    EXPECT_EQ(control.GetPlayState(), kPlayStateReady);
    EXPECT_FALSE(control.ErrorText().isEmpty());
}

TEST_F(OcxwmpTest, ViewPlaysQueuedFilesThroughTheRealControl) {
    const std::string first = Path("first.au"), second = Path("second with|bar.aiff");
    ASSERT_TRUE(test::WriteAuTone(first, 0.5));
    ASSERT_TRUE(test::WriteAiffTone(second, 0.5));

    Cvelmora_playerView view(std::make_unique<COcxwmp>(), nullptr, 100ms);
    view.OnInitialUpdate();
    ASSERT_NE(view.Player(), nullptr);
    std::vector<std::string> started;
    int ended = 0;
    QObject::connect(view.Player(), &COcxwmp::playStateChanged, &view, [&](int s) {
        if (s == kPlayStatePlaying)
            started.push_back(view.Player()->GetURL().toStdString());
        if (s == kPlayStateMediaEnded)
            ++ended;
    });
    const std::string tail = "0~0";
    const std::string bad = Path("bad.mp3");
    ASSERT_TRUE(test::WriteBytes(bad, std::string(30000, '\x5a')));
    for (const std::string& path : {first, bad, second})
        SendMessage(&view, UM_MEDIA_FILE, reinterpret_cast<WPARAM>(tail.c_str()), textParam(path));
    ASSERT_TRUE(PumpUntil([&] { return ended == 2; }, 15000ms));
    EXPECT_EQ(started, (std::vector<std::string>{first, second}));
}
