#include "transfer_notices.h"

#include "desktop_notices.h"
#include "transfer_context.h"

#include <QFileInfo>

namespace velmora {

void NotifySaveEnded(const TransferContext& context, const std::string& error) {
    if (!error.empty()) {
        NotifyDesktop({"Could not save " + context.name, error});
        return;
    }
    // The file may have landed under a name the file system takes; the
    // notice names the file as it is on disk.
    const QFileInfo saved(QString::fromStdString(context.localPath));
    NotifyDesktop({"Saved " + saved.fileName().toStdString(), saved.absolutePath().toStdString()});
}

void NotifyUploadFailed(const TransferContext& context, const std::string& error) {
    NotifyDesktop({"Could not upload " + context.name, error});
}

} // namespace velmora
