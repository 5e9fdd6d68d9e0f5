#include "library_play.h"

#include "app_context.h"
#include "cache_files.h"
#include "component_interfaces.h"
#include "left_view.h"
#include "library_images.h"
#include "message_boxes.h"
#include "user_record.h"
#include "wait_cursor.h"
#include "window_messages.h"
#include "wire/node_key.h"

#include <QTimer>

#include <algorithm>

namespace velmora {

// --- hand-over ------------------------------------------------------------

PlayerHandOver::~PlayerHandOver() {
    std::vector<Worker> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    // A worker whose send has not been delivered yet abandons it, so this
    // may run on the user-interface thread the workers are waiting for.
    for (Worker& worker : workers)
        worker.thread.request_stop();
}

void PlayerHandOver::Hand(Handle player, Handle view, Handle item, std::string localPath) {
    std::lock_guard lock(mutex_);
    std::erase_if(workers_, [](const Worker& worker) { return worker.done->load(); });
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::string tail = std::to_string(view) + "|" + std::to_string(item);
    workers_.push_back(
        {std::jthread([player, tail = std::move(tail), path = std::move(localPath),
                       done](std::stop_token stop) {
             SendMessage(player, UM_MEDIA_FILE, static_cast<WPARAM>(textParam(tail)),
                         textParam(path), stop);
             done->store(true);
         }),
         done});
}

std::size_t PlayerHandOver::Pending() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        workers_.begin(), workers_.end(), [](const Worker& worker) { return !worker.done->load(); }));
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
        PlayFolder(item);
        break;
    }
    case wire::NodeKind::File:
        PlayFile(*item);
        break;
    default:
        break;
    }
}

void LibraryPlay::PlayFolder(QTreeWidgetItem* folder) {
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
                PlayFile(*child);
        } else {
            PlayFolder(child);
        }
    }
}

void LibraryPlay::PlayFile(LibraryItem& item) {
    const std::string name = CLeftView::ItemText(&item);
    view_.Transfers().StartDownload(item, CacheFolder() + name, false);
}

void LibraryPlay::OpenUserDialog(std::int32_t userId) {
    UserDialogs& dialogs = view_.GetUserDialogs();
    const CUserDialog* existing = dialogs.Find(userId);
    if (existing && existing->created) {
        dialogs.Open(userId, nullptr, true);
        return;
    }
    UserRecord record;
    try {
        std::shared_ptr<IAccount> account = AppContext::Instance().GetServiceClient().GetAccount();
        auto profile = account ? QueryInterface<IUserProfile>(account->UserById(userId)) : nullptr;
        if (!profile)
            return;
        record = UserRecord::FromReply(profile->RecordXml());
    } catch (const ComError& error) {
        ShowMessage(error.message());
        return;
    }
    dialogs.Open(userId, &record, true);
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
