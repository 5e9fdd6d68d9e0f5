// How long a double click on a 5 MB tone in the library tree takes to become
// sound: from the mouse double click on the item, through the download into
// the cache folder and the player view's queue, to the media player control
// reporting play state 3 (playing). Baseline in the same run: the same file's
// download alone through the proxy, to the moment its UM_DOWNLOAD_DONE
// reaches a window. Rounds alternate the two; the cached file is deleted
// before each, so every play downloads. The player view's queue looks for
// new files every PlayQueue::kPollPeriod and at once when one is added; the
// rounds start at points spread evenly over one period after the previous
// play began, so no figure depends on where in the queue's beat the double
// click lands.

#include "app_context.h"
#include "bench_service.h"
#include "cache_files.h"
#include "left_view.h"
#include "library_item.h"
#include "media.h"
#include "ocxwmp.h"
#include "service_client.h"
#include "service_proxy.h"
#include "velmora_player_view.h"
#include "window_messages.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace velmora;

namespace {

constexpr int kRounds = 10;
// 16-bit mono at 22,050 Hz: 119 seconds are just over 5 MB.
constexpr double kToneSeconds = 119.0;
constexpr const char* kFolderName = "Play start";
constexpr const char* kFileName = "Long tone.au";

// Counts the transfer ends that reach it and keeps the last error.
class DoneWindow : public QObject {
public:
    int count = 0;
    std::string error;

protected:
    void customEvent(QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return;
        auto* m = static_cast<WindowMessage*>(e);
        if (m->message() != UM_DOWNLOAD_DONE && m->message() != UM_UPLOAD_DONE)
            return;
        const char* text = paramText(static_cast<LPARAM>(m->wParam()));
        error = text ? text : "";
        ++count;
    }
};

// Runs the event loop until done() holds or the time is up, sleeping between
// events; gives done().
bool WaitFor(const std::function<bool()>& done, int limitMs = 30000) {
    QTimer wake;
    wake.start(10);
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

QTreeWidgetItem* Child(QTreeWidgetItem* parent, const std::string& text) {
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (CLeftView::ItemText(parent->child(i)) == text)
            return parent->child(i);
    return nullptr;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Ms(const QElapsedTimer& clock) {
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "play_start: %s\n", why.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // The cache folder lives under this run's own temporary folder.
    QTemporaryDir temp;
    if (!temp.isValid())
        return Fail("no temporary folder");
    qputenv("TMPDIR", temp.path().toUtf8());

    QApplication app(argc, argv);
    RegisterProxyComponent();
    QTemporaryDir scratch;
    bench::BenchService service;
    if (!scratch.isValid() || !service.start("--seed-demo"))
        return Fail("the service did not start");
    bench::BenchSettings settings(service.port());
    ServiceClient& client = AppContext::Instance().GetServiceClient();
    if (!client.Login("demo-free", "free-demo-1") || !client.CreateFolder(1, kFolderName))
        return Fail(client.GetLastError());

    // The tone, uploaded through the proxy before anything is timed.
    const QString source = scratch.filePath(kFileName);
    {
        const std::string tone = server::MakeAuTone(440.0, kToneSeconds);
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(tone.data(), static_cast<qint64>(tone.size())) !=
                static_cast<qint64>(tone.size()))
            return Fail("cannot write the tone");
    }
    const double megabytes = static_cast<double>(QFile(source).size()) / 1e6;
    DoneWindow done;
    client.SetNotifyWindow(HandleOf(&done));
    client.UploadFile(client.GetNewFolderId(), kFileName, source.toStdString(), "0^x^y^0");
    if (!WaitFor([&] { return done.count > 0; }, 60000) || !done.error.empty())
        return Fail("the upload failed: " + done.error);

    // A fresh sign-in shows the file in the tree, beside the player.
    client.Logout();
    if (!client.Login("demo-free", "free-demo-1"))
        return Fail(client.GetLastError());
    std::vector<double> figure, baseline;
    {
        QWidget frame;
        auto* layout = new QHBoxLayout(&frame);
        auto* view = new CLeftView;
        auto* player = new Cvelmora_playerView;
        layout->addWidget(view);
        layout->addWidget(player);
        frame.resize(900, 600);
        frame.show();
        view->OnInitialUpdate();
        player->OnInitialUpdate();
        SendMessage(view, UM_POPULATE_LIBRARY, 0, 0);
        view->RootItem()->setExpanded(true);
        QTreeWidgetItem* folder = Child(view->RootItem(), kFolderName);
        if (folder)
            folder->setExpanded(true);
        QTreeWidgetItem* item = Child(folder, kFileName);
        if (!item || !QTest::qWaitForWindowExposed(&frame))
            return Fail("the tone is not in the tree");
        COcxwmp* control = player->Player();
        const std::string nodeKey = LibraryItem::from(item)->nodeKey();
        const std::string cached = CacheFolder() + kFileName;

        bool playing = false;
        double playingAt = 0;
        QElapsedTimer clock;
        // Since the last play began; invalid before the first.
        QElapsedTimer sincePlay;
        QObject::connect(control, &COcxwmp::playStateChanged, control, [&](int state) {
            if (state == kPlayStatePlaying && !playing) {
                playingAt = Ms(clock);
                sincePlay.start();
                playing = true;
            }
        });
        const qint64 period = PlayQueue::kPollPeriod.count();

        for (int round = 0; round < kRounds; ++round) {
            // The figure: a double click on the item, to the player playing.
            QFile::remove(QString::fromStdString(cached));
            if (!WaitFor([&] {
                    return IsIdlePlayState(control->GetPlayState()) && !view->IsItemBusy(item);
                }))
                return Fail("the player or the item stays busy");
            const qint64 offset = round * period / kRounds;
            WaitFor([&] { return !sincePlay.isValid() || sincePlay.elapsed() >= offset; });
            view->scrollToItem(item);
            const QPoint at = view->viewport()->mapTo(&frame, view->visualItemRect(item).center());
            playing = false;
            clock.start();
            QTest::mouseDClick(frame.windowHandle(), Qt::LeftButton, {}, at);
            if (!WaitFor([&] { return playing; }))
                return Fail("the tone did not play (state " +
                            std::to_string(control->GetPlayState()) + ")");
            figure.push_back(playingAt);
            control->controls().stop();

            // The baseline: the same download alone, to its done message.
            QFile::remove(QString::fromStdString(cached));
            client.SetNotifyWindow(HandleOf(&done));
            const int before = done.count;
            clock.start();
            client.DownloadFile(nodeKey, cached, "0^x^y^0");
            if (!WaitFor([&] { return done.count > before; }) || !done.error.empty())
                return Fail("the download failed: " + done.error);
            baseline.push_back(Ms(clock));
            client.SetNotifyWindow(HandleOf(view));
            if (QFile(QString::fromStdString(cached)).size() != QFile(source).size())
                return Fail("the downloaded file differs in size from the tone");
        }
        control->controls().stop();
        WaitFor([&] { return IsIdlePlayState(control->GetPlayState()); }, 5000);
    }
    AppContext::Destroy();

    const double figureMs = Median(figure);
    const double baselineMs = Median(baseline);
    std::printf("double click to playing: median %.0f ms (min %.0f, max %.0f) over %d rounds, "
                "%.1f MB .au; starts spread over the queue's %lld ms poll\n",
                figureMs, *std::min_element(figure.begin(), figure.end()),
                *std::max_element(figure.begin(), figure.end()), kRounds, megabytes,
                static_cast<long long>(PlayQueue::kPollPeriod.count()));
    std::printf("baseline: download alone through the proxy: median %.0f ms (min %.0f, max %.0f)\n",
                baselineMs, *std::min_element(baseline.begin(), baseline.end()),
                *std::max_element(baseline.begin(), baseline.end()));
    std::printf("play_start: %.0f ms ratio=%.2f (target 1.5)\n", figureMs,
                baselineMs > 0 ? figureMs / baselineMs : 0.0);
    return 0;
}
