#pragma once

// The program's one top-level window: menus and toolbar, the message bar
// under the toolbar, the status bar, and the splitter with the library view
// on the left and the player view on the right. It restores its placement
// from the registry when it makes its panes and saves it when it closes.

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <vector>

class QAction;
class QLabel;
class QSplitter;
class QToolBar;

namespace velmora {

class BarTextSource;
class CommandTarget;
class CVelmoraPlayerDialogBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    enum Command {
        ID_FILE_NEW = 57600,
        ID_FILE_OPEN = 57601,
        ID_FILE_SAVE = 57603,
        ID_EDIT_COPY = 57634,
        ID_EDIT_CUT = 57635,
        ID_EDIT_PASTE = 57637,
        ID_EDIT_UNDO = 57643,
        ID_WINDOW_SPLIT = 57653,
        ID_APP_ABOUT = 57664,
        ID_APP_EXIT = 57665,
        ID_NEXT_PANE = 57680,
        ID_PREV_PANE = 57681,
        ID_VIEW_TOOLBAR = 59392,
        ID_VIEW_STATUS_BAR = 59393,
        ID_TOOLS_OPTIONS = 32771,
        ID_TOOLS_ACCESS_LISTS = 32772,
    };
    static constexpr int kDefaultTreeWidth = 250;

    // Makers of the two panes, given the splitter as parent.
    struct Panes {
        std::function<QWidget*(QWidget* parent)> libraryView;
        std::function<QWidget*(QWidget* parent)> playerView;
    };

    CMainFrame(BarTextSource* barSource, Panes panes, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the bars and the panes and restores the placement; false when
    // any of them cannot be made.
    bool Create();

    QWidget* GetLibraryView() const { return libraryView_; }
    QWidget* GetPlayerView() const { return playerView_; }
    CVelmoraPlayerDialogBar* GetMessageBar() const { return messageBar_; }
    QSplitter* GetSplitter() const { return splitter_; }
    QAction* GetAction(int id) const;

    // Commands go to the first target that handles them, in the order added.
    void AddCommandTarget(CommandTarget* target);
    bool OnCommand(int id);
    // Enables the actions of handled commands; the others are shown disabled.
    void UpdateCommandUI();

    // Writes the placement as the close does (also used by tests).
    void SavePlacement();

protected:
    void closeEvent(QCloseEvent* event) override;
    QMenu* createPopupMenu() override;
    void customEvent(QEvent* event) override;

private:
    bool CreateBars();
    bool CreateClient();
    void RestorePlacement();
    QAction* MakeAction(int id, const QString& text, const QList<QKeySequence>& keys = {});
    void FocusPane(int step);

    BarTextSource* barSource_;
    Panes panes_;
    QSplitter* splitter_ = nullptr;
    QPointer<QWidget> libraryView_;
    QPointer<QWidget> playerView_;
    QToolBar* toolBar_ = nullptr;
    QToolBar* messageBarRow_ = nullptr;
    CVelmoraPlayerDialogBar* messageBar_ = nullptr;
    std::map<int, QAction*> actions_;
    std::vector<CommandTarget*> targets_;
};

} // namespace velmora
