#pragma once

// The link commands of the library tree: Copy Link and Copy Media Link put a
// web link to the hit item on the clipboard; Email Link has the service mail
// one to an address the user types.

#include <string>

namespace velmora {

class CLeftView;

class LibraryLinks {
public:
    explicit LibraryLinks(CLeftView& view) : view_(view) {}

    // Each on the view's hit item.
    void CopyLink();
    void CopyMediaLink();
    void EmailLink();

private:
    // The hit item's node key when it names a folder or a file, else empty.
    std::string LinkableKey() const;

    CLeftView& view_;
};

} // namespace velmora
