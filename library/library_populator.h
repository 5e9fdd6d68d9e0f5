#pragma once

// Fills the library tree from the object model the proxy built at sign-in:
// the user's own folders and files under "My Media", then one item for every
// user who shares folders with him, each with those folders below it. Every
// item gets its node key and image as it is made.

#include <cstdint>
#include <optional>
#include <string>

class QTreeWidgetItem;

namespace velmora {

class CLeftView;
class IFolder;
class LibraryItem;
class ServiceClient;

class LibraryPopulator {
public:
    LibraryPopulator(CLeftView& view, ServiceClient& client);

    // Fills below root, expands it and names the view as the window the proxy
    // reports transfer ends to. Nothing is cleared first. A failing component
    // call ends the walk: what was read so far stays, keys and all, and the
    // call's error text comes back.
    std::optional<std::string> Populate(LibraryItem& root);

private:
    void AddLibrary(LibraryItem& root);
    void AddSharingUsers(LibraryItem& root);
    LibraryItem* AddFolder(std::int32_t ownerId, IFolder& folder, QTreeWidgetItem* parent);

    CLeftView& view_;
    ServiceClient& client_;
};

} // namespace velmora
