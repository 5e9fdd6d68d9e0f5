// The account model document: everything the player builds its objects from
// at sign-in, in one reply.

#include "store.h"
#include "store_error.h"
#include "wire/xml_names.h"
#include "xml_writer.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace velmora::server {

namespace {

namespace xml = wire::xml;

struct Tree {
    struct Node {
        std::int64_t id = 0;
        std::string name;
        std::int64_t acl = 0;
        std::vector<std::size_t> folders; // indexes into nodes
        std::vector<std::size_t> files;   // indexes into files
    };
    struct File {
        std::int64_t id = 0;
        std::string name;
        std::int64_t size = 0;
    };
    std::vector<Node> nodes;
    std::vector<File> files;
    std::unordered_map<std::int64_t, std::size_t> index;
};

// Loads every folder and, when wanted, every file of one owner.
Tree LoadTree(Connection& c, std::int64_t owner, bool withFiles) {
    Tree tree;
    std::vector<std::pair<std::int64_t, std::size_t>> parents;
    {
        auto q = c.query("SELECT id, parent, name, acl FROM folders WHERE owner = ?1 ORDER BY id");
        q->bind(1, owner);
        while (q->step()) {
            tree.index.emplace(q->integer(0), tree.nodes.size());
            parents.emplace_back(q->integer(1), tree.nodes.size());
            tree.nodes.push_back(Tree::Node{q->integer(0), q->text(2), q->integer(3), {}, {}});
        }
    }
    for (auto [parent, child] : parents) {
        auto it = tree.index.find(parent);
        if (it != tree.index.end() && it->second != child)
            tree.nodes[it->second].folders.push_back(child);
    }
    if (withFiles) {
        auto q = c.query("SELECT id, folder, name, size FROM files WHERE owner = ?1 ORDER BY id");
        q->bind(1, owner);
        while (q->step()) {
            auto it = tree.index.find(q->integer(1));
            if (it == tree.index.end())
                continue;
            tree.nodes[it->second].files.push_back(tree.files.size());
            tree.files.push_back(Tree::File{q->integer(0), q->text(2), q->integer(3)});
        }
    }
    return tree;
}

void LoadFilesBelow(Connection& c, std::int64_t owner, Tree& tree, std::size_t top) {
    std::vector<std::size_t> pending{top};
    while (!pending.empty()) {
        std::size_t n = pending.back();
        pending.pop_back();
        if (!tree.nodes[n].files.empty())
            continue; // loaded already through another shared folder
        auto q = c.query("SELECT id, name, size FROM files WHERE owner = ?1 AND folder = ?2 "
                         "ORDER BY id");
        q->bind(1, owner).bind(2, tree.nodes[n].id);
        while (q->step()) {
            tree.nodes[n].files.push_back(tree.files.size());
            tree.files.push_back(Tree::File{q->integer(0), q->text(1), q->integer(2)});
        }
        for (std::size_t child : tree.nodes[n].folders)
            pending.push_back(child);
    }
}

// Writes a folder and its whole subtree without recursion, so that a very
// deep tree cannot exhaust the stack.
void WriteTree(XmlWriter& w, const Tree& tree, std::size_t top, bool withVisible, bool topVisible) {
    struct Frame {
        std::size_t node;
        std::size_t next; // next subfolder to visit
    };
    auto open = [&](std::size_t n, bool visible) {
        const auto& node = tree.nodes[n];
        w.start(xml::element::kFolder)
            .number(xml::attribute::kId, node.id)
            .text(xml::attribute::kName, node.name)
            .number(xml::attribute::kAcl, node.acl);
        if (withVisible)
            w.flag(xml::attribute::kVisible, visible);
        w.children();
    };
    auto close = [&](std::size_t n) {
        for (std::size_t f : tree.nodes[n].files) {
            const auto& file = tree.files[f];
            w.start(xml::element::kFile)
                .number(xml::attribute::kId, file.id)
                .text(xml::attribute::kName, file.name)
                .number(xml::attribute::kSize, file.size)
                .end();
        }
        w.end();
    };
    std::vector<Frame> stack{{top, 0}};
    open(top, topVisible);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const auto& node = tree.nodes[frame.node];
        if (frame.next < node.folders.size()) {
            std::size_t child = node.folders[frame.next++];
            open(child, true);
            stack.push_back({child, 0});
        } else {
            close(frame.node);
            stack.pop_back();
        }
    }
}

void WriteAcls(Connection& c, XmlWriter& w, std::int64_t user) {
    w.start(xml::element::kAcls).children();
    std::vector<AclRow> acls;
    {
        auto q = c.query("SELECT id, name FROM acls WHERE owner = ?1 ORDER BY id");
        q->bind(1, user);
        while (q->step())
            acls.push_back(AclRow{q->integer(0), q->text(1)});
    }
    for (const auto& acl : acls) {
        w.start(xml::element::kAcl)
            .number(xml::attribute::kId, acl.id)
            .text(xml::attribute::kName, acl.name)
            .children();
        auto q = c.query("SELECT u.id, u.accountid, u.first_name, u.last_name, u.email, u.tier, "
                         "u.expired, u.listed FROM acl_members m JOIN users u ON u.id = m.\"user\" "
                         "WHERE m.acl = ?1 ORDER BY u.id");
        q->bind(1, acl.id);
        while (q->step())
            WriteUser(w, ReadUser(*q));
        w.end();
    }
    w.end();
}

} // namespace

std::string Store::accountModel(std::int64_t user) {
    auto profile = userById(user);
    if (!profile)
        throw StoreError(StoreError::Kind::NotSignedIn, "Not signed in");
    auto c = pool_.acquire();
    // One read transaction: the document is one consistent picture.
    Transaction tx(*c, false);
    XmlWriter w;
    w.str().reserve(1 << 16);
    w.declaration().start(xml::element::kAccount).number(xml::attribute::kUserId, user).children();
    WriteUser(w, *profile);

    w.start(xml::element::kLibrary).children();
    {
        Tree own = LoadTree(*c, user, true);
        auto root = own.index.find(1);
        if (root != own.index.end())
            WriteTree(w, own, root->second, false, true);
    }
    w.end();

    w.start(xml::element::kSharing).children();
    std::map<std::int64_t, std::vector<std::int64_t>> shared; // owner -> shared folder ids
    {
        auto q = c->query("SELECT f.owner, f.id FROM acl_members m JOIN folders f ON f.acl = m.acl "
                          "WHERE m.\"user\" = ?1 AND f.owner <> ?1 ORDER BY f.owner, f.id");
        q->bind(1, user);
        while (q->step())
            shared[q->integer(0)].push_back(q->integer(1));
    }
    for (const auto& [owner, folders] : shared) {
        std::optional<UserRow> sharer;
        {
            auto q = c->query(std::string("SELECT ") + kUserColumns + " FROM users WHERE id = ?1");
            q->bind(1, owner);
            if (!q->step())
                continue;
            sharer = ReadUser(*q);
        }
        Tree tree = LoadTree(*c, owner, false);
        // A shared folder inside another shared folder of this owner is shown
        // within that one already.
        std::vector<bool> isShared(tree.nodes.size(), false);
        for (std::int64_t id : folders) {
            auto it = tree.index.find(id);
            if (it != tree.index.end())
                isShared[it->second] = true;
        }
        std::vector<std::int64_t> parentOf(tree.nodes.size(), -1);
        for (std::size_t n = 0; n < tree.nodes.size(); ++n)
            for (std::size_t child : tree.nodes[n].folders)
                parentOf[child] = static_cast<std::int64_t>(n);
        std::vector<std::pair<std::size_t, bool>> tops;
        bool anyVisible = false;
        for (std::int64_t id : folders) {
            auto it = tree.index.find(id);
            if (it == tree.index.end())
                continue;
            bool inside = false;
            std::size_t steps = 0;
            for (std::int64_t p = parentOf[it->second]; p >= 0 && steps <= tree.nodes.size();
                 p = parentOf[static_cast<std::size_t>(p)], ++steps) {
                if (isShared[static_cast<std::size_t>(p)]) {
                    inside = true;
                    break;
                }
            }
            bool visible = !inside && !sharer->expired;
            anyVisible = anyVisible || visible;
            tops.emplace_back(it->second, visible);
            LoadFilesBelow(*c, owner, tree, it->second);
        }
        StartUser(w, *sharer);
        w.flag(xml::attribute::kListed, anyVisible).children();
        for (auto [node, visible] : tops)
            WriteTree(w, tree, node, true, visible);
        w.end();
    }
    w.end();

    WriteAcls(*c, w, user);
    w.end().newline();
    tx.commit();
    return w.take();
}

std::string Store::aclsDocument(std::int64_t user) {
    auto c = pool_.acquire();
    Transaction tx(*c, false);
    XmlWriter w;
    w.declaration();
    WriteAcls(*c, w, user);
    w.newline();
    tx.commit();
    return w.take();
}

} // namespace velmora::server
