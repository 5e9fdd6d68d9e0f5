#pragma once

// The commands that change the user's own library from the tree: New
// folder, Rename (by editing an item's label in place) and Delete. Each
// acts on the hit item, runs one server operation and then changes the item
// itself; the tree is not read again from the service. When the service
// refuses, the item stays as it was, so the tree never shows a change the
// library does not have.

#include "handle_registry.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>

class QTreeWidgetItem;

namespace velmora {

class CLeftView;
class ServiceClient;

class FolderOperations {
public:
    // Tells whether an item, or one below it, has a transfer under way.
    using BusyTest = std::function<bool(QTreeWidgetItem*)>;

    explicit FolderOperations(CLeftView& view);

    // Until one is given, no item counts as busy.
    void SetBusyTest(BusyTest test) { busy_ = std::move(test); }

    void NewFolder();
    void Rename();
    void Delete();

    // The label edit's two notifications. Begin gives whether the edit may
    // start; End takes the text typed, or nothing when the edit was
    // cancelled, and sets the label itself when the rename went through.
    bool BeginLabelEdit(QTreeWidgetItem* item);
    void EndLabelEdit(const std::optional<QString>& newText);

    bool LabelEditActive() const { return labelEditActive_; }
    const std::string& LabelBeforeEdit() const { return labelBeforeEdit_; }

private:
    ServiceClient& Client() const;
    // Busy, or an upload that has not ended: its key is still its folder's,
    // so a command on it would reach the folder instead.
    bool LeftAlone(QTreeWidgetItem* item) const;
    bool IsOwn(const std::string& key) const;
    // The key with "root" read as the signed-in user's folder 1.
    std::string FolderKey(const std::string& key) const;

    CLeftView& view_;
    BusyTest busy_;
    bool labelEditActive_ = false;
    std::string labelBeforeEdit_;
    Handle editedItem_ = 0;
};

} // namespace velmora
