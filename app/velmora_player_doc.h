#pragma once

// The document: File > Open plays a local media file, and offers to save it
// into the user's library on the service first.

#include "command_target.h"

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

    // True when a word of the media extension list occurs anywhere in the
    // lower-cased path.
    static bool IsMediaPath(const std::string& path);

    // The open-file dialog; tests install their own chooser.
    using FileChooser = std::function<std::string()>;
    static void SetFileChooser(FileChooser chooser);

private:
    Cvelmora_playerApp& app_;
};

} // namespace velmora
