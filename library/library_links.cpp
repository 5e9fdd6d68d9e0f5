#include "library_links.h"

#include "app_context.h"
#include "left_view.h"
#include "message_boxes.h"
#include "string_table.h"
#include "text_prompt.h"
#include "wait_cursor.h"
#include "wire/link.h"
#include "wire/node_key.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace velmora {

namespace {

constexpr int kInvalidSelection = 109;
constexpr int kEmailPrompt = 120;
constexpr int kLinkCopied = 121;
// The "~0" that ends every folder key; a folder link carries only owner~folder.
constexpr std::size_t kFolderKeyTail = 2;

void PutOnClipboard(const std::string& link) {
    auto* data = new QMimeData;
    data->setData(QStringLiteral("text/plain"), QByteArray::fromStdString(link));
    // The clipboard owns the data from here on.
    QGuiApplication::clipboard()->setMimeData(data);
    ShowMessage(kLinkCopied);
}

} // namespace

std::string LibraryLinks::LinkableKey() const {
    LibraryItem* item = view_.HitItem();
    if (!item)
        return {};
    std::string key = CLeftView::GetNodeKey(item);
    const wire::NodeKind kind = wire::ClassifyNodeKey(key);
    return kind == wire::NodeKind::Folder || kind == wire::NodeKind::File ? key : std::string();
}

void LibraryLinks::CopyLink() {
    const std::string key = LinkableKey();
    if (key.empty()) {
        ShowMessage(kInvalidSelection);
        return;
    }
    AppContext& context = AppContext::Instance();
    std::string link;
    if (wire::ClassifyNodeKey(key) == wire::NodeKind::Folder)
        link = context.GetFolderLinkBase() +
               wire::link::Encode(std::string_view(key).substr(0, key.size() - kFolderKeyTail));
    else
        link = context.GetFileLinkBase() + wire::link::Encode(key);
    // The name is escaped whole, not only its blanks: an "&", "#" or "=" in
    // it would otherwise end or change the link's query.
    link +=
        wire::link::kNameParameter + wire::link::NameValue(CLeftView::ItemText(view_.HitItem()));
    PutOnClipboard(link);
}

void LibraryLinks::CopyMediaLink() {
    const std::string key = LinkableKey();
    if (key.empty() || wire::ClassifyNodeKey(key) != wire::NodeKind::File) {
        ShowMessage(kInvalidSelection);
        return;
    }
    PutOnClipboard(AppContext::Instance().GetPlayLinkBase() + wire::link::Encode(key));
}

void LibraryLinks::EmailLink() {
    const std::string key = LinkableKey();
    if (key.empty()) {
        ShowMessage(kInvalidSelection);
        return;
    }
    const std::string address = AskText(LoadString(kEmailPrompt));
    if (address.empty())
        return;
    const wire::NodeKeyFields fields = wire::SplitNodeKey(key);
    ServiceClient& client = AppContext::Instance().GetServiceClient();
    bool sent = false;
    {
        WaitCursor wait;
        sent = client.EmailLink(fields.owner, fields.folder, fields.file, client.GetUserId(),
                                address, "", "");
    }
    if (!sent)
        ShowMessage(client.GetLastError());
}

} // namespace velmora
