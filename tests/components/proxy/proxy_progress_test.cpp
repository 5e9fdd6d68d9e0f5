// Progress of real transfers through the proxy against a real
// velmora-service: a 64 MiB upload and its download each report with their
// context, never backwards, no more than ten times a second, and end at all
// of it before their done message.

#include "proxy_test_support.h"

#include <QFile>

namespace velmora::test {
namespace {

constexpr std::uint64_t kSize = 64ull * 1024 * 1024;

class ProxyProgressTest : public ProxyFixture {
protected:
    void SetUp() override {
        ProxyFixture::SetUp();
        ASSERT_TRUE(files_.isValid());
        signIn("demo-free", "free-demo-1");
        proxy_->SetNotifyWindow(HandleOf(&window_));
    }

    struct Transfer {
        DoneWindow::Done done;
        std::vector<DoneWindow::Progress> progress;
        std::chrono::steady_clock::duration took{};
    };

    // Starts the transfer and waits for its done message.
    Transfer run(const std::function<void()>& start) {
        const std::size_t before = window_.done.size();
        window_.progress.clear();
        const auto started = std::chrono::steady_clock::now();
        start();
        EXPECT_TRUE(PumpUntil([&] { return window_.done.size() > before; }, 120000));
        Transfer transfer;
        transfer.took = std::chrono::steady_clock::now() - started;
        if (window_.done.size() > before)
            transfer.done = window_.done.back();
        transfer.progress = window_.progress;
        return transfer;
    }

    QTemporaryDir files_;
    DoneWindow window_;
};

TEST_F(ProxyProgressTest, UploadAndDownloadReportTheirProgressToTheEnd) {
    const QString local = files_.path() + "/big.mp3";
    {
        QFile file(local);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(static_cast<qint64>(kSize)));
    }
    const Transfer upload =
        run([&] { proxy_->UploadFile("1~3~big.mp3", local.toStdString(), "up"); });
    ASSERT_EQ(upload.done.error, "");
    const std::string id = upload.done.context.substr(upload.done.context.find('^') + 1);
    // The download's total comes from what the model knows of the file.
    const Transfer download = run([&] {
        proxy_->DownloadFile("1~3~" + id, (files_.path() + "/back.mp3").toStdString(), "down");
    });
    ASSERT_EQ(download.done.error, "");

    for (const auto& [what, transfer] : {std::pair{"up", &upload}, std::pair{"down", &download}}) {
        SCOPED_TRACE(what);
        const auto& reports = transfer->progress;
        ASSERT_FALSE(reports.empty());
        std::uint64_t last = 0;
        for (const auto& report : reports) {
            EXPECT_EQ(report.context, what);
            EXPECT_EQ(report.total, kSize);
            EXPECT_GE(report.done, last);
            last = report.done;
        }
        EXPECT_EQ(reports.back().done, kSize);
        // Reports while the bytes flow come one interval apart from the
        // start at the earliest; the last one may follow at once.
        const auto intervals = transfer->took / std::chrono::milliseconds(100);
        EXPECT_LE(static_cast<long>(reports.size() - 1), static_cast<long>(intervals))
            << reports.size() << " reports in "
            << std::chrono::duration_cast<std::chrono::milliseconds>(transfer->took).count()
            << " ms";
    }
}

} // namespace
} // namespace velmora::test
