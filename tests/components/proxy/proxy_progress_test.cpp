// Progress of real transfers through the proxy against a real
// velmora-service: a 64 MiB upload and its download each report with their
// context, never backwards, no more than ten times a second, and end at all
// of it before their done message.

#include "proxy_test_support.h"

namespace velmora::test {
namespace {

constexpr std::uint64_t kSize = 64ull * 1024 * 1024;

class ProxyProgressTest : public ProxyFixture {
protected:
    // Runs the transfer to its done message; its reports and how long it took.
    std::vector<DoneWindow::Progress> run(const std::function<void()>& start,
                                          std::chrono::steady_clock::duration& took) {
        const std::size_t before = window_.done.size();
        window_.progress.clear();
        const auto started = std::chrono::steady_clock::now();
        start();
        EXPECT_TRUE(PumpUntil([&] { return window_.done.size() > before; }, 120000));
        took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(window_.done.size() > before ? window_.done.back().error : "?", "");
        return window_.progress;
    }

    QTemporaryDir files_;
    DoneWindow window_;
};

TEST_F(ProxyProgressTest, UploadAndDownloadReportTheirProgressToTheEnd) {
    signIn("demo-free", "free-demo-1");
    proxy_->SetNotifyWindow(HandleOf(&window_));
    const QString local = files_.path() + "/big.mp3";
    QFile file(local);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(static_cast<qint64>(kSize)));
    file.close();

    std::chrono::steady_clock::duration took[2];
    const auto up =
        run([&] { proxy_->UploadFile("1~3~big.mp3", local.toStdString(), "up"); }, took[0]);
    const std::string& context = window_.done.back().context;
    const std::string id = context.substr(context.find('^') + 1);
    // The download's total is what the model knows of the file.
    const auto down = run(
        [&] { proxy_->DownloadFile("1~3~" + id, local.toStdString() + ".back", "down"); }, took[1]);

    int i = 0;
    for (const auto& [what, reports] : {std::pair{"up", up}, std::pair{"down", down}}) {
        SCOPED_TRACE(what);
        ASSERT_FALSE(reports.empty());
        std::uint64_t last = 0;
        for (const auto& report : reports) {
            EXPECT_EQ(report.context, what);
            EXPECT_EQ(report.total, kSize);
            EXPECT_GE(report.done, last);
            last = report.done;
        }
        EXPECT_EQ(last, kSize);
        // Reports while the bytes flow come one interval apart from the start
        // at the earliest; the last one may follow at once.
        EXPECT_LE(static_cast<long>(reports.size() - 1), took[i++] / std::chrono::milliseconds(100))
            << reports.size() << " reports";
    }
}

} // namespace
} // namespace velmora::test
