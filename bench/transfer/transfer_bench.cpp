// 256 MiB up and down through the proxy against curl on the same service in
// the same run. The proxy's transfers run in this process, so its memory
// growth is measured here too. Then the same download with progress reports
// on and off, in alternating rounds, for what the reports cost.

#include "bench_service.h"
#include "service_proxy.h"
#include "window_messages.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <algorithm>
#include <vector>

using namespace velmora;

namespace {

constexpr qint64 kSize = 256ll * 1024 * 1024;
// Pairs of the progress comparison, each one download with reports on and
// one with them off.
constexpr int kProgressRounds = 12;

class DoneWindow : public QObject {
public:
    bool event(QEvent* e) override {
        if (WindowMessage::isWindowMessage(e)) {
            auto* m = static_cast<WindowMessage*>(e);
            if (m->message() == UM_TRANSFER_PROGRESS) {
                ++progress;
                return true;
            }
            error = paramText(static_cast<std::intptr_t>(m->wParam()));
            context = paramText(m->lParam());
            ++count;
            return true;
        }
        return QObject::event(e);
    }
    int count = 0;
    int progress = 0;
    std::string error;
    std::string context;
};

// Waits for the next done message; its seconds from start, negative on failure.
double WaitDone(DoneWindow& window, int before, const QElapsedTimer& timer) {
    // Sleeps until an event comes: the done message wakes it.
    while (window.count == before)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!window.error.empty()) {
        std::fprintf(stderr, "transfer: %s\n", window.error.c_str());
        return -1;
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

bool SameFiles(const QString& a, const QString& b) {
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    while (!fa.atEnd())
        if (fa.read(1 << 20) != fb.read(1 << 20))
            return false;
    return true;
}

double Rate(double seconds) {
    return static_cast<double>(kSize) / 1e6 / seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    bench::BenchService service;
    if (!scratch.isValid() || !service.start("--seed-demo")) {
        std::fprintf(stderr, "transfer: the service did not start\n");
        return 1;
    }
    bench::BenchSettings settings(service.port());

    const QString source = scratch.path() + "/source.bin";
    {
        QFile file(source);
        file.open(QIODevice::WriteOnly);
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        for (qint64 left = kSize; left > 0; left -= chunk.size()) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(chunk.data()),
                                                  chunk.size() / 4);
            file.write(chunk);
        }
    }

    RegisterProxyComponent();
    auto proxy = CreateComponent<IServiceProxy>(CLSID_velmoraPrxy);
    proxy->Login("demo-free", "free-demo-1");
    if (!IsTrue(proxy->SignedIn())) {
        std::fprintf(stderr, "transfer: sign-in failed: %s\n", proxy->LoginFailureText().c_str());
        return 1;
    }
    std::string token = bench::CurlSignIn(service.base(), "demo-free", "free-demo-1");
    QString header = QString::fromStdString("X-Velmora-Session: " + token);
    DoneWindow window;
    proxy->SetNotifyWindow(HandleOf(&window));

    double rssBefore = bench::ResidentMiB();
    double proxyUp = 1e9, proxyDown = 1e9, curlUp = 1e9, curlDown = 1e9;
    std::string lastId;
    for (int round = 0; round < 2; ++round) {
        std::string name = "bench " + std::to_string(round) + ".mp3";
        QElapsedTimer timer;
        timer.start();
        int before = window.count;
        proxy->UploadFile("1~3~" + name, source.toStdString(), "up");
        double up = WaitDone(window, before, timer);
        if (up < 0)
            return 1;
        proxyUp = std::min(proxyUp, up);
        std::string id = window.context.substr(window.context.find('^') + 1);
        lastId = id;

        QString target = scratch.path() + "/proxy-down.bin";
        timer.restart();
        before = window.count;
        proxy->DownloadFile("1~3~" + id, target.toStdString(), "down");
        double down = WaitDone(window, before, timer);
        if (down < 0)
            return 1;
        proxyDown = std::min(proxyDown, down);
        if (!SameFiles(source, target)) {
            std::fprintf(stderr, "transfer: the proxy's download differs from the source\n");
            return 1;
        }

        QByteArray reply;
        double cu = bench::TimeCurl(
            {"-X", "POST", "-T", source, "-H", header, "-H", "Expect:",
             QString::fromStdString(service.base() + "/upload?folder=3&name=curl%20" +
                                    std::to_string(round) + ".mp3")},
            &reply);
        int at = reply.indexOf("id=\"");
        double cd =
            at < 0 ? -1
                   : bench::TimeCurl({"-o", scratch.path() + "/curl-down.bin", "-H", header,
                                      QString::fromStdString(service.base() + "/files/1/3/") +
                                          reply.mid(at + 4, reply.indexOf('"', at + 4) - at - 4)});
        if (cu < 0 || cd < 0) {
            std::fprintf(stderr, "transfer: curl failed\n");
            return 1;
        }
        curlUp = std::min(curlUp, cu);
        curlDown = std::min(curlDown, cd);
    }
    double rssGrowth = bench::ResidentMiB() - rssBefore;

    double ratio = std::min(Rate(proxyUp) / Rate(curlUp), Rate(proxyDown) / Rate(curlDown));
    std::printf("proxy: up %.0f MB/s, down %.0f MB/s (best of 2, 256 MiB each)\n", Rate(proxyUp),
                Rate(proxyDown));
    std::printf("curl:  up %.0f MB/s, down %.0f MB/s\n", Rate(curlUp), Rate(curlDown));
    std::printf("transfer: %.0f MB/s ratio=%.2f (target 0.8), rss_growth=%.1f\n", Rate(proxyDown),
                ratio, rssGrowth);

    // The same download with progress reports on and off, turn about and
    // each first in every other pair (on, off, off, on, ...), so both meet
    // the same state of the machine and neither always follows the other.
    auto& real = dynamic_cast<proxy::ServiceProxy&>(*proxy);
    const QString target = scratch.path() + "/progress-down.bin";
    std::vector<double> withReports, without, pairRatios;
    const int progressBefore = window.progress;
    for (int round = 0; round < 2 * kProgressRounds; ++round) {
        const bool on = round % 4 == 0 || round % 4 == 3;
        real.setProgressReports(on);
        QElapsedTimer timer;
        timer.start();
        int before = window.count;
        proxy->DownloadFile("1~3~" + lastId, target.toStdString(), "progress");
        double seconds = WaitDone(window, before, timer);
        if (seconds < 0)
            return 1;
        (on ? withReports : without).push_back(seconds);
        // The two downloads of a pair meet nearly the same load on the
        // machine; the ratio of their rates drifts far less than either.
        if (round % 2 == 1)
            pairRatios.push_back(without.back() / withReports.back());
    }
    const double onRate = Rate(Median(withReports));
    const double offRate = Rate(Median(without));
    const double progressRatio = Median(pairRatios);
    std::printf("progress: on %.0f MB/s, off %.0f MB/s (medians of %d), %.1f reports per "
                "download; ratio = median of the pairs' on/off\n",
                onRate, offRate, kProgressRounds,
                static_cast<double>(window.progress - progressBefore) / kProgressRounds);
    std::printf("transfer_progress: %.0f MB/s ratio=%.2f (target 0.95)\n", onRate, progressRatio);
    return 0;
}
