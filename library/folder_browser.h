#pragma once

// The folder browser of File > Save: a directory dialog whose path can be
// typed. A typed path that is not a folder is refused with "Invalid folder
// selection" and the dialog stays open.

#include <QFileDialog>

#include <functional>
#include <string>

namespace velmora {

class CFolderBrowser : public QFileDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "choose the location to save selected file to";

    explicit CFolderBrowser(QWidget* parent = nullptr);

    // The chosen folder, or an empty text when the user cancelled. Runs the
    // dialog unless a chooser is in place (for as long as its
    // ScopedFolderChooser lives).
    static std::string ChooseFolder(QWidget* parent);

    using FolderChooser = std::function<std::string()>;
    class ScopedFolderChooser {
    public:
        explicit ScopedFolderChooser(FolderChooser chooser);
        ~ScopedFolderChooser();
        ScopedFolderChooser(const ScopedFolderChooser&) = delete;
        ScopedFolderChooser& operator=(const ScopedFolderChooser&) = delete;

    private:
        FolderChooser previous_;
    };

public slots:
    void accept() override;
};

} // namespace velmora
