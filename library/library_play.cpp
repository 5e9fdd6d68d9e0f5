#include "library_play.h"

#include "app_context.h"
#include "cache_files.h"
#include "com.h"
#include "left_view.h"
#include "library_images.h"
#include "message_boxes.h"
#include "model_user.h"
#include "wait_cursor.h"
#include "window_messages.h"
#include "wire/node_key.h"

#include <QTimer>

namespace velmora {

// --- hand-over ------------------------------------------------------------

PlayerHandOver::~PlayerHandOver() {
    // A send not delivered yet is abandoned, so this may run on the
    // user-interface thread the worker is waiting for.
    worker_.request_stop();
}

void PlayerHandOver::Hand(Handle player, Handle view, Handle item, std::string localPath) {
    std::lock_guard lock(mutex_);
    parcels_.push_back(
        {player, std::to_string(view) + "|" + std::to_string(item), std::move(localPath)});
    if (!worker_.joinable())
        worker_ = std::jthread([this](std::stop_token stop) { Run(stop); });
    wake_.notify_one();
}

std::size_t PlayerHandOver::Pending() const {
    std::lock_guard lock(mutex_);
    return parcels_.size() + (sending_ ? 1 : 0);
}

void PlayerHandOver::Run(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (wake_.wait(lock, stop, [this] { return !parcels_.empty(); })) {
        const Parcel parcel = std::move(parcels_.front());
        parcels_.pop_front();
        sending_ = true;
        lock.unlock();
        // The texts live on this stack for the whole send.
        SendMessage(parcel.player, UM_MEDIA_FILE, static_cast<WPARAM>(textParam(parcel.tail)),
                    textParam(parcel.localPath), stop);
        lock.lock();
        sending_ = false;
    }
}

// --- play -----------------------------------------------------------------

LibraryPlay::LibraryPlay(CLeftView& view) : view_(view) {}

void LibraryPlay::Play(QTreeWidgetItem* hitItem) {
    LibraryItem* item = LibraryItem::from(hitItem);
    if (!item)
        return;
    const std::string key = item->nodeKey();
    if (key == wire::kRootKey) {
        ShowMessage(109);
        return;
    }
    const wire::NodeKind kind = wire::ClassifyNodeKey(key);
    // A folder with a transfer below it still plays: only the files under
    // transfer are skipped, one by one.
    if (kind != wire::NodeKind::Folder && view_.IsItemBusy(item))
        return;
    switch (kind) {
    case wire::NodeKind::User:
        OpenUserDialog(wire::SplitNodeKey(key).owner);
        break;
    case wire::NodeKind::Folder: {
        WaitCursor wait;
        PlayFolder(item, CacheFolder());
        break;
    }
    case wire::NodeKind::File:
        PlayFile(*item, CacheFolder());
        break;
    default:
        break;
    }
}

void LibraryPlay::PlayFolder(QTreeWidgetItem* folder, const std::string& cacheFolder) {
    if (!folder)
        return;
    // Every file starts at once; the proxy's pool bounds how many move
    // bytes at the same time, and one timer animates them all.
    for (int i = 0; i < folder->childCount(); ++i) {
        LibraryItem* child = LibraryItem::from(folder->child(i));
        if (!child)
            continue;
        if (wire::ClassifyNodeKey(child->nodeKey()) == wire::NodeKind::File) {
            if (!view_.IsItemBusy(child))
                PlayFile(*child, cacheFolder);
        } else {
            PlayFolder(child, cacheFolder);
        }
    }
}

void LibraryPlay::PlayFile(LibraryItem& item, const std::string& cacheFolder) {
    const std::string path = LocalFilePath(cacheFolder, CLeftView::ItemText(&item));
    if (path.empty()) {
        ShowMessage(123);
        return;
    }
    view_.Transfers().StartDownload(item, path, false);
}

void LibraryPlay::OpenUserDialog(std::int32_t userId) {
    UserDialogs& dialogs = view_.GetUserDialogs();
    const CUserDialog* existing = dialogs.Find(userId);
    if (existing && existing->created) {
        dialogs.Open(userId, nullptr, true);
        return;
    }
    std::optional<UserRecord> record;
    try {
        record = ModelUserRecord(AppContext::Instance().GetServiceClient(), userId);
    } catch (const ComError& error) {
        ShowMessage(error.message());
        return;
    }
    if (!record)
        return;
    dialogs.Open(userId, &*record, true);
}

// --- what the player reports ------------------------------------------------

void LibraryPlay::OnNowPlaying(Handle handle, const std::string& text) {
    LibraryItem* item = view_.ItemFromHandle(handle);
    if (!item)
        return;
    item->setText(0, QString::fromStdString(text));
    view_.SendBarText(kPlayingPrefix + text);
    const std::uint64_t start = ++starts_;
    playing_[handle] = start;
    QTimer::singleShot(kPlayingImageDelayMs, &view_, [this, handle, start] {
        const auto found = playing_.find(handle);
        if (found == playing_.end() || found->second != start)
            return;
        if (LibraryItem* playing = view_.ItemFromHandle(handle))
            view_.SetItemImage(playing, kImagePlaying);
    });
}

void LibraryPlay::OnPlayingEnded(Handle handle) {
    // A file shorter than a second ends before its image would change.
    playing_.erase(handle);
    LibraryItem* item = view_.ItemFromHandle(handle);
    const std::string text = CLeftView::ItemText(item);
    if (!text.empty())
        view_.SetItemImage(item, ImageForName(text));
}

} // namespace velmora
