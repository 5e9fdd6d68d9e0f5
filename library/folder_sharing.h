#pragma once

// Share on the library tree: picks, in the access lists dialog, the list one
// of the user's own folders is shared with (or none), has the service store
// it, and shows the result in the item's image and the library's object
// model.

namespace velmora {

class CLeftView;

class FolderSharing {
public:
    explicit FolderSharing(CLeftView& view) : view_(view) {}

    // On the view's hit item.
    void Share();

private:
    CLeftView& view_;
};

} // namespace velmora
