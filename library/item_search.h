#pragma once

// The search of the library tree by item text, and the list of items already
// reported in the running search pass.
//
// A search walks depth first below its start item and gives the first item
// whose text matches and that has not been reported yet; an item that
// matches and was reported hides everything below it. Each Find Next walks
// as if from the start again, but when nothing has changed since the last
// search (same start and text, same tree, no other change to the reported
// list) the walk goes on from where the last one stopped: everything before
// that point is known to give nothing, so a whole pass costs one walk.

#include "handle_registry.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace velmora {

class ItemSearch : public QObject {
public:
    explicit ItemSearch(QTreeWidget& tree);

    // Without wholeWord the item text must begin with text; with it, contain
    // it anywhere. Case is ignored unless matchCase.
    static bool Matches(const QString& itemText, const QString& text, bool matchCase,
                        bool wholeWord);

    // The next match below start (start itself is not tested), appended to
    // the reported list; null when none is left.
    QTreeWidgetItem* FindItemByText(QTreeWidgetItem* start, const QString& text, bool matchCase,
                                    bool wholeWord);

    // The reported list. Items are held by handle, so an item deleted
    // meanwhile is never mistaken for a new one at the same address.
    void NoteReported(QTreeWidgetItem* item);
    bool IsReported(QTreeWidgetItem* item) const;
    bool HasReported() const { return !reported_.empty(); }
    void ClearReported();

private:
    struct Level {
        QTreeWidgetItem* parent;
        int next; // the index of the next child to test
    };
    struct Resume {
        Handle start = 0;
        QString text;
        bool matchCase = false;
        bool wholeWord = false;
        std::uint64_t treeVersion = 0;
        std::uint64_t listVersion = 0;
        std::vector<Level> path;
    };

    bool CanResume(QTreeWidgetItem* start, const QString& text, bool matchCase,
                   bool wholeWord) const;
    QTreeWidgetItem* Walk(std::vector<Level>& path, const QString& text, bool matchCase,
                          bool wholeWord);
    void TreeChanged() { ++treeVersion_; }

    std::unordered_set<Handle> reported_;
    std::uint64_t treeVersion_ = 0;
    std::uint64_t listVersion_ = 0;
    bool resumeValid_ = false;
    Resume resume_;
};

} // namespace velmora
