// Times the filling of the library tree from an in-memory account the size of
// the benchmark account (100,000 files in 5,000 folders, 50 sharing users with
// a folder each) through UM_POPULATE_LIBRARY, against a bare QTreeWidget
// taking the same texts and icons in one batch.
#include "app_context.h"
#include "left_view.h"
#include "library_model.h"
#include "window_messages.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;
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

Node FolderNode(ModelFolder& folder) {
    Node node{QString::fromStdString(folder.name_), FolderImage(folder.accessListId), {}};
    for (auto& entry : folder.files) {
        auto file = std::dynamic_pointer_cast<ModelFile>(entry);
        node.children.push_back(
            {QString::fromStdString(file->name_), ImageForName(file->name_), {}});
    }
    for (auto& entry : folder.folders)
        node.children.push_back(FolderNode(*std::dynamic_pointer_cast<ModelFolder>(entry)));
    return node;
}

Node TreeOf(ModelAccount& account) {
    Node root{QStringLiteral("My Media"), kImageRoot, {}};
    for (auto& entry : account.root->folders)
        root.children.push_back(FolderNode(*std::dynamic_pointer_cast<ModelFolder>(entry)));
    int image = 3;
    for (auto& entry : account.users) {
        auto user = std::dynamic_pointer_cast<ModelUser>(entry);
        image = image == 8 ? 4 : image + 1;
        Node node{
            QString::fromStdString(user->accountId_ + "(" + user->first_ + " " + user->last_ + ")"),
            image,
            {}};
        for (auto& folder : user->folders)
            node.children.push_back(FolderNode(*std::dynamic_pointer_cast<ModelFolder>(folder)));
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

void Settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    auto proxy = std::make_shared<ModelProxy>();
    BuildModel(*proxy->account, ModelShape{});
    SignedInModel model(proxy);
    if (!model.signedIn()) {
        std::fprintf(stderr, "populate: sign-in to the model failed\n");
        return 1;
    }
    const Node tree = TreeOf(*proxy->account);
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
    for (int run = 0; run < kRuns; ++run) {
        auto view = std::make_unique<CLeftView>();
        view->resize(400, 800);
        view->show();
        Settle();
        const auto start = Clock::now();
        SendMessage(view.get(), UM_POPULATE_LIBRARY, 0, 0);
        Settle();
        const double seconds = Seconds(Clock::now() - start);
        const std::size_t items = CountItems(view->RootItem());
        if (items != expected || view->NodeKeyCount() != expected) {
            std::fprintf(stderr, "populate: wrong result (%zu items, %zu keys, %zu expected)\n",
                         items, view->NodeKeyCount(), expected);
            return 1;
        }
        ours = std::min(ours, seconds);
        std::printf("ours run %d: %.3f s\n", run + 1, seconds);
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

    std::printf("populate: %.3f s ratio=%.2f (target 3)\n", ours, ours / bare);
    return 0;
}
