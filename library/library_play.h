#pragma once

// Playing from the library: a file is downloaded into the cache folder and
// handed to the player view once it has arrived; a folder plays every file
// below it; a user node opens that user's dialog. The player reports back
// which item plays and when it has ended, and the item shows it.

#include "handle_registry.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class QTreeWidgetItem;

namespace velmora {

class CLeftView;
class LibraryItem;

// Hands downloaded files to the player view, each on a worker of its own
// that waits until the player has taken the file, as the player may be busy
// with the tree in return. Workers still waiting when this ends give up.
class PlayerHandOver {
public:
    PlayerHandOver() = default;
    ~PlayerHandOver();
    PlayerHandOver(const PlayerHandOver&) = delete;
    PlayerHandOver& operator=(const PlayerHandOver&) = delete;

    // Sends UM_MEDIA_FILE to the player: wParam "<view>|<item>", lParam the
    // local path.
    void Hand(Handle player, Handle view, Handle item, std::string localPath);
    std::size_t Pending() const;

private:
    struct Worker {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    mutable std::mutex mutex_;
    std::vector<Worker> workers_;
};

class LibraryPlay {
public:
    static constexpr const char* kPlayingPrefix = "Playing: ";
    static constexpr int kPlayingImageDelayMs = 1000;

    explicit LibraryPlay(CLeftView& view);

    // Play on the item the user chose.
    void Play(QTreeWidgetItem* hitItem);
    // Downloads every file below the folder for play, in tree order; files
    // under transfer are skipped.
    void PlayFolder(QTreeWidgetItem* folder);

    // The player's reports (UM_NOW_PLAYING, UM_PLAYING_ENDED).
    void OnNowPlaying(Handle item, const std::string& text);
    void OnPlayingEnded(Handle item);

    PlayerHandOver& HandOver() { return handOver_; }

private:
    void PlayFile(LibraryItem& item);
    void OpenUserDialog(std::int32_t userId);

    CLeftView& view_;
    PlayerHandOver handOver_;
    // The items the player plays now, each with the number of its start: the
    // now-playing image comes a second after the start, and only when that
    // same play has not ended meanwhile.
    std::map<Handle, std::uint64_t> playing_;
    std::uint64_t starts_ = 0;
};

} // namespace velmora
