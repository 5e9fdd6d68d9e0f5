#pragma once

// How far the running transfers have come, as the library tree shows it. The
// proxy posts UM_TRANSFER_PROGRESS to the tree with the transfer's context
// text; the tree shows the percentage in the tooltip of the transfer's item
// (its own tooltip comes back when the done message arrives) and passes the
// progress and done messages on to the window it stands in, whose status bar
// sums up every running transfer.

#include "handle_registry.h"

#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace velmora {

class CLeftView;
class WindowMessage;

// One UM_TRANSFER_PROGRESS as its receivers read it.
struct TransferProgressReport {
    Handle item = 0;
    std::string name;
    std::uint64_t done = 0;
    std::uint64_t total = 0;

    // Whole percent, rounded down; an empty transfer counts as complete.
    int Percent() const;
    // Null when the texts are not those of a progress message.
    static std::optional<TransferProgressReport> Parse(const char* progressText,
                                                       const char* contextText);
};

class TransferProgressDisplay {
public:
    explicit TransferProgressDisplay(CLeftView& view) : view_(view) {}

    // "NAME — 42 %".
    static QString ToolTip(const std::string& name, int percent);

    // UM_TRANSFER_PROGRESS, UM_DOWNLOAD_DONE and UM_UPLOAD_DONE, before the
    // tree handles a done message itself.
    void OnMessage(const WindowMessage& message);

private:
    void ShowProgress(const TransferProgressReport& report);
    void RestoreToolTip(Handle item);

    CLeftView& view_;
    // The tooltips the items had before their transfers began.
    std::map<Handle, QString> saved_;
};

} // namespace velmora
