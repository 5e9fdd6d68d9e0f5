// Transfers through a relay that drops their connections: a download goes on
// where it stopped, a large upload is sent once more, and what cannot be
// saved ends with a readable text and no file.

#include "cutting_relay.h"
#include "proxy_test_support.h"
#include "resumable_transfer.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <future>
#include <regex>

namespace velmora::test {
namespace {

using Direction = CuttingRelay::Direction;
constexpr qint64 kMiB = 1024 * 1024;

// A line of /proc/self/status in bytes ("VmRSS", "VmHWM").
qint64 StatusBytes(const char* name) {
    QFile file("/proc/self/status");
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(QByteArray(name) + ":"))
            return line.mid(line.indexOf(':') + 1).trimmed().split(' ').front().toLongLong() * 1024;
    return -1;
}

// From now on VmHWM counts from the memory in use now.
bool ResetPeakMemory() {
    QFile file("/proc/self/clear_refs");
    return file.open(QIODevice::WriteOnly) && file.write("5") == 1;
}

struct CutCase {
    const char* what;
    Direction direction; // Reply: a download is cut; Request: an upload
    qint64 size;
    int cuts;
    qint64 cutAfter;
    int connections; // the transfer's connections in all
    bool succeeds;
};

void PrintTo(const CutCase& c, std::ostream* out) {
    *out << c.what;
}

class ProxyCutTest : public ProxyFixture, public ::testing::WithParamInterface<CutCase> {
protected:
    void SetUp() override {
        ProxyFixture::SetUp();
        ASSERT_TRUE(files_.isValid());
        relay_ = std::make_unique<CuttingRelay>(service_.port());
        ASSERT_GT(relay_->port(), 0);
        settings_.point("127.0.0.1", relay_->port());
        signIn("demo-free", "free-demo-1");
        proxy_->SetNotifyWindow(HandleOf(&window_));
    }

    void TearDown() override {
        proxy_.reset();
        relay_.reset();
        ProxyFixture::TearDown();
    }

    std::string path(const QString& name) const {
        return (files_.path() + "/" + name).toStdString();
    }

    std::string makeFile(const QString& name, qint64 size) {
        QFile file(files_.path() + "/" + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray chunk(kMiB, Qt::Uninitialized);
        for (qint64 left = size; left > 0; left -= chunk.size()) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(chunk.data()),
                                                  chunk.size() / 4);
            file.write(chunk.constData(), std::min<qint64>(left, chunk.size()));
        }
        return file.fileName().toStdString();
    }

    // Waits for the next done message and gives it.
    DoneWindow::Done next() {
        const std::size_t before = window_.done.size();
        EXPECT_TRUE(PumpUntil([&] { return window_.done.size() > before; }, 60000));
        return window_.done.size() > before ? window_.done.back() : DoneWindow::Done{};
    }

    std::string lostPrefix(const char* what) const {
        return std::string(what) + " failed: The connection to the Velmora service at 127.0.0.1:" +
               std::to_string(relay_->port()) + " was lost";
    }

    QTemporaryDir files_;
    DoneWindow window_;
    std::unique_ptr<CuttingRelay> relay_;
};

TEST_P(ProxyCutTest, EndsWithTheSameBytesOrAReadableFailureAndNoFile) {
    const CutCase& c = GetParam();
    const std::string local = makeFile("source.bin", c.size);
    const std::string target = path("copy.mp3");
    DoneWindow::Done done;
    int before = 0;
    if (c.direction == Direction::Reply) {
        proxy_->UploadFile("1~3~cut.mp3", local, "up");
        const std::string id = next().context.substr(3);
        ASSERT_FALSE(id.empty());
        relay_->cutNext(c.cuts, c.direction, static_cast<std::uint64_t>(c.cutAfter));
        before = relay_->accepted();
        ASSERT_TRUE(ResetPeakMemory());
        const qint64 inUse = StatusBytes("VmRSS");
        proxy_->DownloadFile("1~3~" + id, target, "down");
        done = next();
        if (c.succeeds) {
            EXPECT_LT(StatusBytes("VmHWM") - inUse, c.size / 4)
                << "the download was held in memory";
        }
    } else {
        relay_->cutNext(c.cuts, c.direction, static_cast<std::uint64_t>(c.cutAfter));
        before = relay_->accepted();
        proxy_->UploadFile("1~3~cut.mp3", local, "up");
        done = next();
    }
    EXPECT_EQ(relay_->accepted() - before, c.connections);

    if (c.direction == Direction::Reply) {
        EXPECT_EQ(done.message, UM_DOWNLOAD_DONE);
        if (c.succeeds) {
            EXPECT_EQ(done.error, "");
            EXPECT_TRUE(readFile(target) == readFile(local)) << "the bytes differ";
        } else {
            EXPECT_EQ(done.error.rfind(lostPrefix("Download"), 0), 0u) << done.error;
            EXPECT_NE(done.error.find("(4 tries)"), std::string::npos) << done.error;
            EXPECT_FALSE(QFile::exists(QString::fromStdString(target)));
        }
        EXPECT_TRUE(
            QDir(files_.path()).entryList(QDir::Files | QDir::Hidden).filter(".part").empty());
        return;
    }
    EXPECT_EQ(done.message, UM_UPLOAD_DONE);
    if (!c.succeeds) {
        EXPECT_EQ(done.error.rfind(lostPrefix("Upload"), 0), 0u) << done.error;
        signIn("demo-free", "free-demo-1");
        EXPECT_EQ(folder(3)->NameInUse("cut.mp3"), VARIANT_FALSE);
        return;
    }
    ASSERT_EQ(done.error, "");
    proxy_->DownloadFile("1~3~" + done.context.substr(3), target, "down");
    EXPECT_EQ(next().error, "");
    EXPECT_TRUE(readFile(target) == readFile(local)) << "the bytes differ";
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, ProxyCutTest,
    ::testing::Values(CutCase{"a download cut three times resumes", Direction::Reply, 64 * kMiB, 3,
                              12 * kMiB, 4, true},
                      CutCase{"a download cut a fourth time fails", Direction::Reply, 8 * kMiB, 4,
                              kMiB, 4, false},
                      CutCase{"a large upload cut once is sent again", Direction::Request, 9 * kMiB,
                              1, kMiB, 2, true},
                      CutCase{"a large upload cut twice fails", Direction::Request, 9 * kMiB, 2,
                              kMiB, 2, false},
                      CutCase{"a small upload cut once fails", Direction::Request, 2 * kMiB, 1,
                              kMiB / 2, 1, false}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

// GetResumable on its own, through the relay to a real service.
class ResumableDownload : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.start());
        relay_ = std::make_unique<CuttingRelay>(service_.port());
        endpoint_ = proxy::Endpoint("127.0.0.1", relay_->port(), {});
        auto reply = proxy::Post(endpoint_, "/session",
                                 {{"accountid", "demo-free"}, {"password", "free-demo-1"}});
        std::smatch token;
        ASSERT_TRUE(std::regex_search(reply.body, token, std::regex("token=\"([^\"]+)\"")));
        endpoint_.token = token[1];
    }

    ServiceProcess service_;
    std::unique_ptr<CuttingRelay> relay_;
    proxy::Endpoint endpoint_;
};

// Cancelling ends the pause between tries at once.
TEST_F(ResumableDownload, CancelEndsThePauseBeforeTheNextTry) {
    relay_->cutNext(10, Direction::Reply, 0);
    const int before = relay_->accepted();
    proxy::CancelFlag cancel;
    proxy::RetryPauses pauses;
    pauses.pauses = {std::chrono::seconds(30)};
    auto download = std::async(std::launch::async, [&] {
        try {
            proxy::GetResumable(
                endpoint_, "/files/1/3/1", [](const char*, std::size_t) { return true; }, cancel,
                {}, pauses);
        } catch (const proxy::RequestFailure& e) {
            return e.reason();
        }
        return proxy::RequestFailure::Reason::Failed;
    });
    ASSERT_TRUE(WaitUntil([&] { return relay_->accepted() > before; }));
    QElapsedTimer timer;
    timer.start();
    cancel.cancel();
    ASSERT_EQ(download.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(download.get(), proxy::RequestFailure::Reason::Cancelled);
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(relay_->accepted(), before + 1);
}

// A reply that starts again from the first byte instead of where the cut
// one stopped would double the start of the file: its bytes never arrive.
TEST_F(ResumableDownload, AReplyThatDoesNotContinueTheFileIsRefused) {
    const std::string whole = proxy::Get(endpoint_, "/account").body;
    ASSERT_GT(whole.size(), 1000u);
    relay_->cutNext(1, Direction::Reply, 600);
    proxy::CancelFlag cancel;
    std::string received;
    try {
        proxy::GetResumable(endpoint_, "/account",
                            [&](const char* data, std::size_t size) {
                                received.append(data, size);
                                return true;
                            },
                            cancel, {});
        ADD_FAILURE() << "no failure";
    } catch (const proxy::RequestFailure& e) {
        EXPECT_EQ(e.reason(), proxy::RequestFailure::Reason::BadReply) << e.text();
        EXPECT_EQ(e.text(), "The Velmora service at 127.0.0.1:" + std::to_string(relay_->port()) +
                                " did not resume the download where it stopped");
    }
    EXPECT_FALSE(received.empty());
    EXPECT_EQ(received, whole.substr(0, received.size()));
}

} // namespace
} // namespace velmora::test
