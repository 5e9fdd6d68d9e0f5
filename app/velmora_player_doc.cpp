#include "velmora_player_doc.h"

#include "message_boxes.h"
#include "service_client.h"
#include "string_table.h"
#include "text_utils.h"
#include "velmora_player_app.h"
#include "window_messages.h"
#include "wire/media_types.h"

#include <QFileDialog>

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

namespace velmora {

namespace {

Cvelmora_playerDoc::FileChooser& chooser() {
    static Cvelmora_playerDoc::FileChooser c;
    return c;
}

std::string chooseWithDialog() {
    // No filter, no default extension, no read-only box.
    QString path = QFileDialog::getOpenFileName(nullptr, QString(), QString(), QString(), nullptr,
                                                QFileDialog::ReadOnly);
    return path.toStdString();
}

constexpr const char* kNoNotification = "0~0";

} // namespace

Cvelmora_playerDoc::Cvelmora_playerDoc(Cvelmora_playerApp& app, QObject* parent)
    : QObject(parent), app_(app) {}

Cvelmora_playerDoc::ScopedFileChooser::ScopedFileChooser(FileChooser c)
    : ScopedHook(chooser(), std::move(c)) {}

bool Cvelmora_playerDoc::AcceptsUploads(const QObject* libraryView) {
    return libraryView && libraryView->property(kAcceptsUploadsProperty).toBool();
}

bool Cvelmora_playerDoc::IsMediaPath(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // The whole path counts, dot or not: a file in a folder named "mp3s"
    // opens whatever its own name is.
    return std::any_of(
        wire::kMediaExtensions.begin(), wire::kMediaExtensions.end(),
        [&](std::string_view word) { return lower.find(word) != std::string::npos; });
}

bool Cvelmora_playerDoc::OnCommand(int id) {
    if (id != ID_FILE_OPEN)
        return false;
    OpenFile(chooser() ? chooser()() : chooseWithDialog());
    return true;
}

void Cvelmora_playerDoc::OpenFile(const std::string& path) {
    if (path.empty())
        return;
    if (!IsMediaPath(path)) {
        ShowMessage(126);
        return;
    }
    const std::string noNotification = kNoNotification;
    const auto wParam = static_cast<WPARAM>(textParam(noNotification));
    if (AcceptsUploads(app_.GetLibraryView()) && AskYesNo(LoadString(105)) && app_.SignIn()) {
        if (QObject* library = app_.GetLibraryView())
            SendMessage(library, UM_MEDIA_FILE, wParam, textParam(path));
    }
    if (QObject* player = app_.GetPlayerView())
        SendMessage(player, UM_MEDIA_FILE, wParam, textParam(path));
}

} // namespace velmora
