#include "item_search.h"

#include "library_item.h"

#include <QAbstractItemModel>
#include <QTreeWidget>

namespace velmora {

namespace {

Handle ItemHandle(QTreeWidgetItem* item) {
    const LibraryItem* libraryItem = LibraryItem::from(item);
    return libraryItem ? libraryItem->handle() : 0;
}

} // namespace

ItemSearch::ItemSearch(QTreeWidget& tree) {
    // Any change of the tree's shape or of a text may move a match before the
    // point a walk stopped at. Images change many times a second while items
    // animate and match nothing, so they are not changes here.
    QAbstractItemModel* model = tree.model();
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] { TreeChanged(); });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { TreeChanged(); });
    connect(model, &QAbstractItemModel::rowsMoved, this, [this] { TreeChanged(); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { TreeChanged(); });
    connect(model, &QAbstractItemModel::layoutChanged, this, [this] { TreeChanged(); });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.isEmpty() || roles.contains(Qt::DisplayRole) ||
                    roles.contains(Qt::EditRole))
                    TreeChanged();
            });
}

bool ItemSearch::Matches(const QString& itemText, const QString& text, bool matchCase,
                         bool wholeWord) {
    const Qt::CaseSensitivity cs = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    return wholeWord ? itemText.contains(text, cs) : itemText.startsWith(text, cs);
}

bool ItemSearch::CanResume(QTreeWidgetItem* start, const QString& text, bool matchCase,
                           bool wholeWord) const {
    return resumeValid_ && resume_.start != 0 && resume_.start == ItemHandle(start) &&
           resume_.text == text && resume_.matchCase == matchCase &&
           resume_.wholeWord == wholeWord && resume_.treeVersion == treeVersion_ &&
           resume_.listVersion == listVersion_;
}

QTreeWidgetItem* ItemSearch::FindItemByText(QTreeWidgetItem* start, const QString& text,
                                            bool matchCase, bool wholeWord) {
    if (!start)
        return nullptr;
    if (!CanResume(start, text, matchCase, wholeWord)) {
        resume_ = Resume{ItemHandle(start), text, matchCase, wholeWord, 0, 0, {{start, 0}}};
    }
    QTreeWidgetItem* found = Walk(resume_.path, text, matchCase, wholeWord);
    if (found)
        NoteReported(found);
    // The found item is reported now, so a walk from the start would pass
    // over it and everything below it: exactly where this one stopped.
    resume_.treeVersion = treeVersion_;
    resume_.listVersion = listVersion_;
    resumeValid_ = resume_.start != 0;
    return found;
}

QTreeWidgetItem* ItemSearch::Walk(std::vector<Level>& path, const QString& text, bool matchCase,
                                  bool wholeWord) {
    while (!path.empty()) {
        Level& level = path.back();
        if (level.next >= level.parent->childCount()) {
            path.pop_back();
            continue;
        }
        QTreeWidgetItem* child = level.parent->child(level.next++);
        if (Matches(child->text(0), text, matchCase, wholeWord)) {
            if (IsReported(child))
                continue;
            return child;
        }
        path.push_back({child, 0});
    }
    return nullptr;
}

void ItemSearch::NoteReported(QTreeWidgetItem* item) {
    if (const Handle handle = ItemHandle(item); handle && reported_.insert(handle).second)
        ++listVersion_;
}

bool ItemSearch::IsReported(QTreeWidgetItem* item) const {
    const Handle handle = ItemHandle(item);
    return handle && reported_.count(handle) > 0;
}

void ItemSearch::ClearReported() {
    reported_.clear();
    ++listVersion_;
}

} // namespace velmora
