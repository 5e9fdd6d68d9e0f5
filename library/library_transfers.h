#pragma once

// Downloads and uploads as the library tree sees them: the tree starts a
// transfer, animates its item, and finishes the item when the proxy reports
// the end. What belongs to a transfer travels in its context text, so an
// item deleted meanwhile (or a tree filled anew) is simply not found when the
// end comes: the tree is left alone, a download is not played, and a
// finished upload is still recorded in the object model.

#include "handle_registry.h"

#include <QList>
#include <QUrl>

#include <map>
#include <string>

class QTreeWidgetItem;

namespace velmora {

class CLeftView;
class LibraryItem;
struct TransferContext;

class LibraryTransfers {
public:
    static constexpr const char* kQueuedForPlay = "(Queued for play)";
    static constexpr int kImageResetMs = 1000;

    explicit LibraryTransfers(CLeftView& view);

    // Downloads the file item to localPath; a Save (noPlay) neither marks the
    // item queued nor plays the file.
    void StartDownload(LibraryItem& item, const std::string& localPath, bool noPlay);
    // The local file as a new file under "My Media" (UM_MEDIA_FILE).
    void UploadToRoot(const std::string& localPath);
    // File > Save of the file item: to a folder the user picks, asking
    // before an existing file is replaced. The existing file stays until the
    // new one has fully arrived, so a failed download leaves it as it was.
    void Save(QTreeWidgetItem* hitItem);
    // Files dropped at the item (null: outside every item).
    void Drop(QTreeWidgetItem* at, const QList<QUrl>& urls);

    void OnDownloadDone(const std::string& error, const std::string& contextText);
    void OnUploadDone(const std::string& error, const std::string& contextText);

private:
    struct Replaced {
        std::string key;
        int image;
    };

    // Uploads into the folder that the item stands for (the root item
    // included), replacing a file item of the same name right below it as
    // the service replaces the file.
    void Upload(LibraryItem& folderItem, const std::string& folderKey,
                const std::string& localPath);
    void FailUpload(Handle item, const std::string& error);
    void ResetImageLater(Handle item, int image);
    void HandToPlayer(Handle item, const std::string& localPath);

    CLeftView& view_;
    // Files whose items an upload took out of the tree, by the upload's item:
    // a failed upload leaves the file on the service, so its item comes back.
    std::map<Handle, Replaced> replaced_;
};

} // namespace velmora
