// Plays 20 one-second files through the player view's queue and the real
// media player control, and measures the gap between the end of one file and
// the start of the next. The queue polls every 500 ms, so a gap of about half
// a period is what polling alone costs; the rest is loading the next file.
#include "ocxwmp.h"
#include "tone_files.h"
#include "velmora_player_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <string>
#include <vector>

using namespace velmora;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    constexpr int kFiles = 20;
    constexpr double kPeriodMs = static_cast<double>(PlayQueue::kPollPeriod.count());

    QTemporaryDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < kFiles; ++i) {
        paths.push_back(dir.filePath(QStringLiteral("tone%1.au").arg(i)).toStdString());
        if (!test::WriteAuTone(paths.back(), 1.0)) {
            std::fprintf(stderr, "play_queue: cannot write %s\n", paths.back().c_str());
            return 1;
        }
    }

    Cvelmora_playerView view;
    COcxwmp* player = view.Player();
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> starts, ends;
    bool playing = false;
    QObject::connect(player, &COcxwmp::playStateChanged, &view, [&](int state) {
        if (state == kPlayStatePlaying && !playing) {
            playing = true;
            starts.push_back(clock.elapsed());
        } else if (playing && IsIdlePlayState(state)) {
            playing = false;
            ends.push_back(clock.elapsed());
            if (static_cast<int>(ends.size()) == kFiles)
                app.quit();
        }
    });
    view.OnInitialUpdate();
    const std::string tail = "0~0";
    for (const std::string& path : paths)
        SendMessage(&view, UM_MEDIA_FILE, reinterpret_cast<WPARAM>(tail.c_str()), textParam(path));
    QTimer::singleShot(kFiles * 5000, &app, &QApplication::quit);
    app.exec();

    if (static_cast<int>(ends.size()) != kFiles || static_cast<int>(starts.size()) != kFiles) {
        std::fprintf(stderr, "play_queue: only %zu of %d files played to the end\n", ends.size(),
                     kFiles);
        return 1;
    }
    double total = 0, shortest = 1e9, longest = 0;
    for (int i = 0; i + 1 < kFiles; ++i) {
        const double gap = static_cast<double>(starts[i + 1] - ends[i]);
        total += gap;
        shortest = std::min(shortest, gap);
        longest = std::max(longest, gap);
    }
    const double mean = total / (kFiles - 1);
    std::printf("files: %d of 1 s, polling period %.0f ms\n", kFiles, kPeriodMs);
    std::printf("gap end to next start: shortest %.0f ms, longest %.0f ms\n", shortest, longest);
    std::printf("first file started %lld ms after queuing\n", starts.front());
    std::printf("play_queue: %.0f ms mean gap ratio=%.2f (target 1.2)\n", mean, mean / kPeriodMs);
    return 0;
}
