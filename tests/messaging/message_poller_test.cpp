#include "message_poller.h"
#include "messaging_test_support.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

using namespace velmora;
using namespace std::chrono_literals;
using test::MessagesXml;
using test::MessageWindow;
using test::PumpUntil;
using Clock = std::chrono::steady_clock;

namespace {

// Answers each fetch with the next scripted reply: a file's text, a
// failure, or (when the script has run out) nothing new.
class ScriptedSource : public MessageSource {
public:
    struct Reply {
        std::string xml;
        std::string failure;
    };

    explicit ScriptedSource(const QString& folder) : folder_(folder) {}

    void add(Reply reply) {
        std::lock_guard lock(mutex_);
        replies_.push_back(std::move(reply));
    }
    // The reply once the script has run out.
    void setDefault(Reply reply) {
        std::lock_guard lock(mutex_);
        default_ = std::move(reply);
    }
    int fetches() const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(times_.size());
    }
    Clock::time_point firstFetch() const {
        std::lock_guard lock(mutex_);
        return times_.front();
    }

    bool FetchMessagesFile(std::string& path, std::string& failure) override {
        std::lock_guard lock(mutex_);
        times_.push_back(Clock::now());
        Reply reply = default_;
        if (!replies_.empty()) {
            reply = std::move(replies_.front());
            replies_.pop_front();
        }
        if (reply.xml.empty() && reply.failure.empty())
            return false;
        failure = reply.failure;
        if (!failure.empty())
            return false;
        path = (folder_ + QString("/messages-%1.xml").arg(times_.size())).toStdString();
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(reply.xml.data(), static_cast<qint64>(reply.xml.size()));
        return true;
    }

private:
    QString folder_;
    mutable std::mutex mutex_;
    std::deque<Reply> replies_;
    Reply default_;
    std::vector<Clock::time_point> times_;
};

class MessagePollerTest : public ::testing::Test {
protected:
    QTemporaryDir folder;
    std::shared_ptr<ScriptedSource> source = std::make_shared<ScriptedSource>(folder.path());
    std::mutex logMutex;
    std::vector<std::string> logLines;

    std::unique_ptr<MessagePoller> makePoller(std::chrono::milliseconds period) {
        return std::make_unique<MessagePoller>(
            source,
            [this](const std::string& line) {
                std::lock_guard lock(logMutex);
                logLines.push_back(line);
            },
            period);
    }
    std::vector<std::string> log() {
        std::lock_guard lock(logMutex);
        return logLines;
    }
};

} // namespace

TEST_F(MessagePollerTest, NoDialogNoRequestAndTheRunEndsByItself) {
    auto poller = makePoller(10ms);
    poller->Start();
    EXPECT_TRUE(poller->Running());
    ASSERT_TRUE(PumpUntil([&] { return !poller->Running(); }));
    test::PumpFor(50ms);
    EXPECT_EQ(source->fetches(), 0);
}

TEST_F(MessagePollerTest, FirstRequestOnePeriodAfterTheFirstDialogRegisters) {
    auto poller = makePoller(200ms);
    MessageWindow window;
    const auto registered = Clock::now();
    poller->Register(5, HandleOf(&window));
    ASSERT_TRUE(PumpUntil([&] { return source->fetches() > 0; }));
    EXPECT_GE(source->firstFetch() - registered, 200ms);
}

TEST_F(MessagePollerTest, EachMessageGoesToItsSendersOpenDialogInFileOrder) {
    auto poller = makePoller(10ms);
    MessageWindow five, seven;
    source->add({MessagesXml({{"5", "a"}, {"7", "x"}}), {}});
    source->add({"<messages>"
                 "<message fromUserId=\"5\" text=\"b\"/>"
                 "<note fromUserId=\"5\" text=\"not a message\"/>"
                 "<message fromUserId=\"abc\" text=\"no sender\"/>"
                 "<message fromUserId=\" +7\" text=\"y\"/>"
                 "<message fromUserId=\"5\" text=\"c\"/>"
                 "</messages>",
                 {}});
    poller->Register(5, HandleOf(&five));
    poller->Register(7, HandleOf(&seven));
    ASSERT_TRUE(PumpUntil([&] { return five.texts.size() == 3 && seven.texts.size() == 2; }));
    EXPECT_EQ(five.texts, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(seven.texts, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(poller->KeptCount(0), 0u);
}

TEST_F(MessagePollerTest, MessagesOfAClosedDialogWaitUntilItOpens) {
    auto poller = makePoller(10ms);
    MessageWindow open, later;
    source->add({MessagesXml({{"9", "first"}, {"5", "hi"}, {"9", "second"}}), {}});
    source->add({MessagesXml({{"9", "third"}}), {}});
    poller->Register(5, HandleOf(&open));
    ASSERT_TRUE(PumpUntil([&] { return poller->KeptCount(9) == 2; }));
    EXPECT_TRUE(later.texts.empty());
    // Kept messages arrive during the registration, before any newer one.
    poller->Register(9, HandleOf(&later));
    EXPECT_EQ(later.texts, (std::vector<std::string>{"first", "second"}));
    ASSERT_TRUE(PumpUntil([&] { return later.texts.size() == 3; }));
    EXPECT_EQ(later.texts.back(), "third");
    EXPECT_EQ(poller->KeptCount(9), 0u);
}

TEST_F(MessagePollerTest, KeptMessagesAreBoundedPerSenderOldestFirstWithALogLine) {
    auto poller = makePoller(10ms);
    MessageWindow open, flooder;
    std::vector<std::pair<std::string, std::string>> flood;
    const int total = static_cast<int>(MessagePoller::kKeptPerSender) + 3;
    for (int i = 0; i < total; ++i)
        flood.push_back({"9", std::to_string(i) + ";"});
    source->add({MessagesXml(flood), {}});
    poller->Register(5, HandleOf(&open));
    ASSERT_TRUE(PumpUntil([&] { return source->fetches() > 0 && !log().empty(); }));
    EXPECT_EQ(poller->KeptCount(9), MessagePoller::kKeptPerSender);
    EXPECT_EQ(log(), (std::vector<std::string>{"3 older message(s) from user 9 dropped: no more "
                                               "than 100 are kept until his dialog opens"}));
    poller->Register(9, HandleOf(&flooder));
    ASSERT_EQ(flooder.texts.size(), MessagePoller::kKeptPerSender);
    EXPECT_EQ(flooder.texts.front(), "3;");
    EXPECT_EQ(flooder.texts.back(), std::to_string(total - 1) + ";");
}

TEST_F(MessagePollerTest, TheRunEndsAfterTheLastCloseAndTheNextOpeningStartsAnother) {
    auto poller = makePoller(10ms);
    MessageWindow one, two;
    poller->Register(1, HandleOf(&one));
    poller->Register(2, HandleOf(&two));
    ASSERT_TRUE(PumpUntil([&] { return source->fetches() > 0; }));
    poller->Unregister(1);
    poller->Unregister(1); // a second unregistration changes nothing
    test::PumpFor(30ms);
    EXPECT_TRUE(poller->Running());
    poller->Unregister(2);
    ASSERT_TRUE(PumpUntil([&] { return !poller->Running(); }));
    const int fetches = source->fetches();
    test::PumpFor(50ms);
    EXPECT_EQ(source->fetches(), fetches);

    source->add({MessagesXml({{"1", "back"}}), {}});
    poller->Register(1, HandleOf(&one));
    ASSERT_TRUE(PumpUntil([&] { return one.texts.size() == 1; }));
}

TEST_F(MessagePollerTest, ARegistrationRacingTheEndOfARunIsNeverLost) {
    // The run ends at its first check that finds no dialog; registering at
    // that moment must leave a run going (the same one or the next).
    auto poller = makePoller(1ms);
    MessageWindow window;
    for (int i = 0; i < 500; ++i) {
        poller->Register(3, HandleOf(&window));
        ASSERT_TRUE(poller->Running()) << "iteration " << i;
        poller->Unregister(3);
        std::this_thread::sleep_for(std::chrono::microseconds(i % 7 * 150));
    }
    poller->Register(3, HandleOf(&window));
    const int before = source->fetches();
    ASSERT_TRUE(PumpUntil([&] { return source->fetches() > before; }));
}

TEST_F(MessagePollerTest, ADialogClosingDuringADeliveryGetsNothingAndNothingHangs) {
    auto poller = makePoller(10ms);
    auto one = std::make_unique<MessageWindow>();
    auto two = std::make_unique<MessageWindow>();
    int twoGot = 0;
    two->onMessage = [&] { ++twoGot; };
    // While the first message is handled, the other dialog closes and goes,
    // and the first unregisters itself: the worker holds no lock meanwhile.
    one->onMessage = [&] {
        poller->Unregister(2);
        two.reset();
        poller->Unregister(1);
    };
    source->add({MessagesXml({{"1", "a"}, {"2", "b"}}), {}});
    poller->Register(1, HandleOf(one.get()));
    poller->Register(2, HandleOf(two.get()));
    ASSERT_TRUE(PumpUntil([&] { return !one->texts.empty() && !poller->Running(); }));
    EXPECT_EQ(twoGot, 0);
}

TEST_F(MessagePollerTest, DestroyingThePollerWhileADeliveryWaitsForThisThreadGivesItUp) {
    auto poller = makePoller(10ms);
    MessageWindow window;
    source->add({MessagesXml({{"4", "late"}}), {}});
    poller->Register(4, HandleOf(&window));
    // The worker fetches and then waits for this thread, which is not
    // pumping events: the poller must end without that delivery, and the
    // worker must not outlive it.
    while (source->fetches() == 0)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    poller.reset();
    test::PumpFor(30ms);
    EXPECT_TRUE(window.texts.empty());
}

TEST_F(MessagePollerTest, FailuresAreLoggedOncePerDistinctTextAndAfterARecovery) {
    auto poller = makePoller(5ms);
    MessageWindow window;
    for (const char* failure : {"down", "down", "down", "refused", "refused"})
        source->add({{}, failure});
    source->add({{}, {}}); // nothing new: the request worked
    source->setDefault({{}, "down"});
    poller->Register(1, HandleOf(&window));
    ASSERT_TRUE(PumpUntil([&] { return source->fetches() >= 9; }));
    const std::string prefix = PollFailureLog::kFailurePrefix;
    EXPECT_EQ(log(), (std::vector<std::string>{prefix + "down", prefix + "refused",
                                               PollFailureLog::kRecovered, prefix + "down"}));
}
