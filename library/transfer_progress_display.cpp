#include "transfer_progress_display.h"

#include "left_view.h"
#include "transfer_context.h"
#include "window_messages.h"

#include <charconv>
#include <cstring>

namespace velmora {

namespace {

std::optional<std::uint64_t> ReadNumber(const char*& at, const char* end) {
    std::uint64_t value = 0;
    auto [next, ec] = std::from_chars(at, end, value);
    if (ec != std::errc() || next == at)
        return std::nullopt;
    at = next;
    return value;
}

} // namespace

int TransferProgressReport::Percent() const {
    if (total == 0 || done >= total)
        return 100;
    return static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
}

std::optional<TransferProgressReport> TransferProgressReport::Parse(const char* progressText,
                                                                    const char* contextText) {
    if (!progressText || !contextText)
        return std::nullopt;
    const char* at = progressText;
    const char* end = progressText + std::strlen(progressText);
    const auto done = ReadNumber(at, end);
    if (!done || at == end || *at++ != ' ')
        return std::nullopt;
    const auto total = ReadNumber(at, end);
    const auto context = TransferContext::Parse(contextText);
    if (!total || at != end || !context)
        return std::nullopt;
    return TransferProgressReport{context->item, context->name, *done, *total};
}

QString TransferProgressDisplay::ToolTip(const std::string& name, int percent) {
    return QStringLiteral("%1 \u2014 %2 %").arg(QString::fromStdString(name)).arg(percent);
}

void TransferProgressDisplay::OnMessage(const WindowMessage& message) {
    const char* wText = paramText(static_cast<std::intptr_t>(message.wParam()));
    const char* lText = paramText(message.lParam());
    if (message.message() == UM_TRANSFER_PROGRESS) {
        if (const auto report = TransferProgressReport::Parse(wText, lText))
            ShowProgress(*report);
    } else if (lText) {
        if (const auto context = TransferContext::Parse(lText))
            RestoreToolTip(context->item);
    }
    // The window the tree stands in sums up all transfers; a tree standing
    // alone has nobody to tell.
    QWidget* frame = view_.window();
    if (frame && frame != &view_)
        SendMessage(frame, message.message(), message.wParam(), message.lParam());
}

void TransferProgressDisplay::ShowProgress(const TransferProgressReport& report) {
    LibraryItem* item = view_.ItemFromHandle(report.item);
    if (!item)
        return;
    saved_.try_emplace(report.item, item->toolTip(0));
    item->setToolTip(0, ToolTip(report.name, report.Percent()));
}

void TransferProgressDisplay::RestoreToolTip(Handle item) {
    auto saved = saved_.find(item);
    if (saved == saved_.end())
        return;
    if (LibraryItem* libraryItem = view_.ItemFromHandle(item))
        libraryItem->setToolTip(0, saved->second);
    saved_.erase(saved);
}

} // namespace velmora
