// How the user-interface thread fares while the library tree plays a folder
// of 1,000 files from a real velmora-service (every download starts at once,
// each file goes to the player as it arrives): the
// lateness of a 10 ms timer (p99) against the same timer with nothing
// running, and the process's peak thread count. The folder is filled through
// the proxy before the measurement.

#include "app_context.h"
#include "bench_service.h"
#include "left_view.h"
#include "service_client.h"
#include "service_proxy.h"
#include "window_messages.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace velmora;

namespace {

constexpr int kFiles = 1000;
constexpr int kTickMs = 10;

int ThreadCount() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    return 0;
}

// Counts the transfer ends that reach the object it watches or receives.
class DoneCounter : public QObject {
public:
    int done = 0;
    int failed = 0;

protected:
    void customEvent(QEvent* e) override { count(e); }
    bool eventFilter(QObject*, QEvent* e) override {
        count(e);
        return false;
    }

private:
    void count(QEvent* e) {
        if (!WindowMessage::isWindowMessage(e))
            return;
        auto* m = static_cast<WindowMessage*>(e);
        if (m->message() != UM_DOWNLOAD_DONE && m->message() != UM_UPLOAD_DONE)
            return;
        ++done;
        const char* error = paramText(static_cast<LPARAM>(m->wParam()));
        if (error && *error) {
            if (failed++ == 0)
                std::fprintf(stderr, "transfers_ui: %s\n", error);
        }
    }
};

// Stands in for the player view: counts the files handed to it.
class HandedFiles : public QObject {
public:
    int count = 0;

protected:
    void customEvent(QEvent* e) override {
        if (WindowMessage::isWindowMessage(e) &&
            static_cast<WindowMessage*>(e)->message() == UM_MEDIA_FILE)
            ++count;
    }
};

// The lateness of a 10 ms timer in milliseconds, one sample per tick, while
// running() holds; the peak thread count goes to peak.
std::vector<double> Lateness(const std::function<bool()>& running, int& peak) {
    std::vector<double> samples;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(kTickMs);
    QElapsedTimer clock;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        samples.push_back(std::max(0.0, elapsed - kTickMs));
        peak = std::max(peak, ThreadCount());
        clock.restart();
    });
    clock.start();
    timer.start();
    while (running())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return samples;
}

double P99(std::vector<double> samples) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    return samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
}

QTreeWidgetItem* Child(QTreeWidgetItem* parent, const std::string& text) {
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (CLeftView::ItemText(parent->child(i)) == text)
            return parent->child(i);
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    RegisterProxyComponent();
    QTemporaryDir scratch;
    // The played files land in the cache folder under this run's own folder.
    qputenv("TMPDIR", scratch.path().toUtf8());
    bench::BenchService service;
    if (!scratch.isValid() || !service.start("--seed-demo")) {
        std::fprintf(stderr, "transfers_ui: the service did not start\n");
        return 1;
    }
    bench::BenchSettings settings(service.port());
    ServiceClient& client = AppContext::Instance().GetServiceClient();
    if (!client.Login("demo-free", "free-demo-1") || !client.CreateFolder(1, "Thousand")) {
        std::fprintf(stderr, "transfers_ui: %s\n", client.GetLastError().c_str());
        return 1;
    }
    // The folder's files, uploaded through the proxy.
    const std::int32_t folder = client.GetNewFolderId();
    const QString source = scratch.filePath("tone.au");
    {
        QFile file(source);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(4096, 'a'));
    }
    DoneCounter uploads;
    client.SetNotifyWindow(HandleOf(&uploads));
    for (int i = 0; i < kFiles; ++i)
        client.UploadFile(folder, "Track " + std::to_string(i + 1) + ".au", source.toStdString(),
                          "0^x^y^0");
    while (uploads.done < kFiles)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (uploads.failed > 0)
        return 1;

    // A fresh sign-in shows the folder in the tree.
    client.Logout();
    if (!client.Login("demo-free", "free-demo-1"))
        return 1;
    CLeftView view;
    view.resize(300, 600);
    view.show();
    DoneCounter downloads;
    view.installEventFilter(&downloads);
    SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
    QTreeWidgetItem* thousand = Child(view.RootItem(), "Thousand");
    if (!thousand || thousand->childCount() != kFiles) {
        std::fprintf(stderr, "transfers_ui: the folder is not in the tree\n");
        return 1;
    }
    thousand->setExpanded(true);

    // The first paint of the tree is over before the baseline starts.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    int baselinePeak = 0;
    QElapsedTimer baselineClock;
    baselineClock.start();
    const double baseline =
        P99(Lateness([&] { return baselineClock.elapsed() < 3000; }, baselinePeak));

    // Play on the folder: every file at once, each handed to the player.
    HandedFiles handed;
    view.SetPlayerView(&handed);
    int peak = 0;
    bool started = false;
    QTimer::singleShot(0, [&] {
        view.SetHitItem(thousand);
        view.OnPlay();
        started = true;
    });
    QElapsedTimer runClock;
    runClock.start();
    const double during = P99(Lateness(
        [&] {
            return (!started || downloads.done < kFiles || handed.count < kFiles) &&
                   runClock.elapsed() < 120000;
        },
        peak));

    std::printf("baseline: %.2f ms p99 (threads %d), downloads: %.2f s\n", baseline, baselinePeak,
                static_cast<double>(runClock.elapsed()) / 1000.0);
    std::printf(
        "transfers_ui: %.2f ms p99 ratio=%.2f (target 3), threads=%d, done=%d/%d, handed=%d\n",
        during, baseline > 0 ? during / baseline : 0.0, peak, downloads.done - downloads.failed,
        kFiles, handed.count);
    return 0;
}
