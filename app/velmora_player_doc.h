#pragma once

// The document: File > Open plays a local media file, and offers to save it
// into the user's library on the service first once the library view takes
// uploads.

#include "command_target.h"
#include "scoped_hook.h"

#include <QObject>

#include <functional>
#include <string>

namespace velmora {

class Cvelmora_playerApp;

class Cvelmora_playerDoc : public QObject, public CommandTarget {
    Q_OBJECT
public:
    enum { ID_FILE_OPEN = 57601 };

    explicit Cvelmora_playerDoc(Cvelmora_playerApp& app, QObject* parent = nullptr);

    bool OnCommand(int id) override;
    bool HandlesCommand(int id) const override { return id == ID_FILE_OPEN; }

    // File > Open with the chosen path (empty: the dialog was cancelled).
    void OpenFile(const std::string& path);

    // The library view takes files to upload (UM_MEDIA_FILE) once it sets
    // this property to true; until then File > Open plays the file without
    // offering to save it on the service.
    static constexpr const char* kAcceptsUploadsProperty = "acceptsMediaUploads";
    static bool AcceptsUploads(const QObject* libraryView);

    // True when a word of the media extension list occurs anywhere in the
    // lower-cased path.
    static bool IsMediaPath(const std::string& path);

    // The open-file dialog unless a chooser is in place: one is for as long
    // as its ScopedFileChooser lives, and the one before comes back after.
    using FileChooser = std::function<std::string()>;
    class ScopedFileChooser : public ScopedHook<FileChooser> {
    public:
        explicit ScopedFileChooser(FileChooser chooser);
    };

private:
    Cvelmora_playerApp& app_;
};

} // namespace velmora
