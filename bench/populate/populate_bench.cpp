// Times sign-in and the filling of the library tree for the benchmark account
// of a real velmora-service (100,000 files in 5,000 folders, 50 sharing users
// with a folder each): ServiceClient::Login through the real proxy, then
// UM_POPULATE_LIBRARY. Baseline in the same run: a bare QTreeWidget taking
// the same texts and icons in one batch.
#include "../common/seeded_service.h"
#include "app_context.h"
#include "component_factory.h"
#include "left_view.h"
#include "service_client.h"
#include "window_messages.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace velmora;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRuns = 3;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// What the tree shows, read out of the model beforehand for the baseline.
struct Node {
    QString text;
    int image = 0;
    std::vector<Node> children;
};

Node FolderNode(IFolder& folder) {
    Node node{QString::fromStdString(folder.Name()), FolderImage(folder.AccessListId()), {}};
    for (int i = 0; i < folder.FileCount(); ++i) {
        auto file = QueryInterface<IMediaFile>(folder.File(i));
        node.children.push_back(
            {QString::fromStdString(file->Name()), ImageForName(file->Name()), {}});
    }
    for (int i = 0; i < folder.SubfolderCount(); ++i)
        node.children.push_back(FolderNode(*QueryInterface<IFolder>(folder.Subfolder(i))));
    return node;
}

Node TreeOf(IAccount& account) {
    Node root{QStringLiteral("My Media"), kImageRoot, {}};
    auto library = QueryInterface<IFolder>(account.LibraryRoot());
    for (int i = 0; i < library->SubfolderCount(); ++i)
        root.children.push_back(FolderNode(*QueryInterface<IFolder>(library->Subfolder(i))));
    for (int i = 0; i < library->FileCount(); ++i) {
        auto file = QueryInterface<IMediaFile>(library->File(i));
        root.children.push_back(
            {QString::fromStdString(file->Name()), ImageForName(file->Name()), {}});
    }
    int image = 3;
    for (int u = 0; u < account.SharingUserCount(); ++u) {
        auto user = QueryInterface<IUserProfile>(account.SharingUser(u));
        image = image == 8 ? 4 : image + 1;
        Node node{QString::fromStdString(user->AccountId() + "(" + user->FirstName() + " " +
                                         user->LastName() + ")"),
                  image,
                  {}};
        for (int f = 0; f < user->SharedFolderCount(); ++f) {
            auto folder = QueryInterface<IFolder>(user->SharedFolder(f));
            if (folder->Visible())
                node.children.push_back(FolderNode(*folder));
        }
        root.children.push_back(std::move(node));
    }
    return root;
}

QTreeWidgetItem* BareItem(const Node& node, const std::vector<QIcon>& icons) {
    auto* item = new QTreeWidgetItem(QStringList{node.text});
    item->setIcon(0, icons[static_cast<std::size_t>(node.image)]);
    QList<QTreeWidgetItem*> children;
    children.reserve(static_cast<qsizetype>(node.children.size()));
    for (const Node& child : node.children)
        children.append(BareItem(child, icons));
    item->addChildren(children);
    return item;
}

std::size_t CountItems(QTreeWidgetItem* item) {
    std::size_t n = 1;
    for (int i = 0; i < item->childCount(); ++i)
        n += CountItems(item->child(i));
    return n;
}

std::size_t CountKeyedItems(QTreeWidgetItem* item) {
    std::size_t n = CLeftView::GetNodeKey(item).empty() ? 0 : 1;
    for (int i = 0; i < item->childCount(); ++i)
        n += CountKeyedItems(item->child(i));
    return n;
}

void Settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    bench::SeededService service("populate");
    if (!service.Start())
        return 1;
    ServiceClient& client = AppContext::Instance().GetServiceClient();

    // Untimed: one sign-in to read what the tree will show, for the baseline.
    if (!client.Login("bench", "bench-password-1")) {
        std::fprintf(stderr, "populate: sign-in failed: %s\n", client.GetLastError().c_str());
        return 1;
    }
    const Node tree = TreeOf(*client.GetAccount());
    std::size_t expected = 0;
    {
        std::vector<const Node*> pending{&tree};
        while (!pending.empty()) {
            const Node* n = pending.back();
            pending.pop_back();
            ++expected;
            for (const Node& c : n->children)
                pending.push_back(&c);
        }
    }
    std::printf("model: %zu items (root, users, folders and files)\n", expected);

    double ours = std::numeric_limits<double>::max();
    double whole = std::numeric_limits<double>::max();
    double signIn = std::numeric_limits<double>::max();
    for (int run = 0; run < kRuns; ++run) {
        client.Logout();
        auto view = std::make_unique<CLeftView>();
        view->resize(400, 800);
        view->show();
        Settle();
        // The longest pause of the event loop while the tree fills.
        qint64 longestStall = 0;
        QElapsedTimer sinceTick;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout,
                         [&] { longestStall = std::max(longestStall, sinceTick.restart()); });
        const auto begin = Clock::now();
        if (!client.Login("bench", "bench-password-1")) {
            std::fprintf(stderr, "populate: sign-in failed\n");
            return 1;
        }
        const auto signedIn = Clock::now();
        tick.start(10);
        sinceTick.start();
        SendMessage(view.get(), UM_POPULATE_LIBRARY, 0, 0);
        Settle();
        tick.stop();
        const double seconds = Seconds(Clock::now() - signedIn);
        signIn = std::min(signIn, Seconds(signedIn - begin));
        whole = std::min(whole, Seconds(Clock::now() - begin));
        const std::size_t items = CountItems(view->RootItem());
        const std::size_t keyed = CountKeyedItems(view->RootItem());
        if (items != expected || keyed != expected) {
            std::fprintf(stderr, "populate: wrong result (%zu items, %zu keys, %zu expected)\n",
                         items, keyed, expected);
            return 1;
        }
        ours = std::min(ours, seconds);
        std::printf("run %d: sign-in %.3f s, fill %.3f s, longest event-loop pause %lld ms\n",
                    run + 1, Seconds(signedIn - begin), seconds,
                    static_cast<long long>(longestStall));
    }

    const std::vector<QIcon> icons = LoadLibraryImages();
    double bare = std::numeric_limits<double>::max();
    for (int run = 0; run < kRuns; ++run) {
        auto widget = std::make_unique<QTreeWidget>();
        widget->setHeaderHidden(true);
        widget->setUniformRowHeights(true);
        widget->setIconSize(QSize(kImageSize, kImageSize));
        widget->resize(400, 800);
        widget->show();
        Settle();
        const auto start = Clock::now();
        QTreeWidgetItem* root = BareItem(tree, icons);
        widget->addTopLevelItem(root);
        root->setExpanded(true);
        Settle();
        const double seconds = Seconds(Clock::now() - start);
        if (CountItems(widget->topLevelItem(0)) != expected) {
            std::fprintf(stderr, "populate: baseline built a different tree\n");
            return 1;
        }
        bare = std::min(bare, seconds);
        std::printf("bare QTreeWidget run %d: %.3f s\n", run + 1, seconds);
    }

    std::printf("best sign-in %.3f s, best fill %.3f s, best sign-in and fill %.3f s\n", signIn,
                ours, whole);
    client.Logout();
    service.Stop();
    // The figure is the whole (sign-in and fill); the ratio compares the two
    // fills of the same tree, ours through UM_POPULATE_LIBRARY and the bare one.
    std::printf("populate: %.3f s ratio=%.2f (target 3)\n", whole, ours / bare);
    AppContext::Destroy();
    return 0;
}
