#pragma once

// Playing from the library: a file is downloaded into the cache folder and
// handed to the player view once it has arrived; a folder plays every file
// below it; a user node opens that user's dialog. The player reports back
// which item plays and when it has ended, and the item shows it.

#include "handle_registry.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

class QTreeWidgetItem;

namespace velmora {

class CLeftView;
class LibraryItem;

// Hands downloaded files to the player view, in the order their downloads
// ended, from a worker that waits each time until the player has taken the
// file: the player may be busy with the tree in return. One worker serves
// every download, however many end at once; when this ends, a hand-over not
// yet delivered is given up.
class PlayerHandOver {
public:
    PlayerHandOver() = default;
    ~PlayerHandOver();
    PlayerHandOver(const PlayerHandOver&) = delete;
    PlayerHandOver& operator=(const PlayerHandOver&) = delete;

    // Sends UM_MEDIA_FILE to the player: wParam "<view>|<item>", lParam the
    // local path.
    void Hand(Handle player, Handle view, Handle item, std::string localPath);
    // Hand-overs not delivered yet.
    std::size_t Pending() const;

private:
    struct Parcel {
        Handle player;
        std::string tail;
        std::string localPath;
    };
    void Run(std::stop_token stop);

    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<Parcel> parcels_;
    bool sending_ = false;
    std::jthread worker_;
};

class LibraryPlay {
public:
    static constexpr const char* kPlayingPrefix = "Playing: ";
    static constexpr int kPlayingImageDelayMs = 1000;

    explicit LibraryPlay(CLeftView& view);

    // Play on the item the user chose.
    void Play(QTreeWidgetItem* hitItem);
    // Downloads every file below the folder for play into the cache folder,
    // in tree order; files under transfer are skipped.
    void PlayFolder(QTreeWidgetItem* folder, const std::string& cacheFolder);

    // The player's reports (UM_NOW_PLAYING, UM_PLAYING_ENDED).
    void OnNowPlaying(Handle item, const std::string& text);
    void OnPlayingEnded(Handle item);

    PlayerHandOver& HandOver() { return handOver_; }

private:
    void PlayFile(LibraryItem& item, const std::string& cacheFolder);
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
