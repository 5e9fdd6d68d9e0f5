#pragma once

// The application object: brings the program up in a fixed order, runs the
// sign-in loop every feature needing the service falls back on, owns the log
// and the application message store, and cleans the cache at exit.

#include "app_context.h"
#include "app_message_store.h"
#include "command_target.h"
#include "log_file.h"
#include "main_frame.h"
#include "scoped_hook.h"
#include "velmora_player_dialog_bar.h"
#include "velmora_player_doc.h"

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class ScopedRunServiceSettings;

class Cvelmora_playerApp : public QObject, public BarTextSource, public CommandTarget {
    Q_OBJECT
public:
    enum Command { ID_APP_ABOUT = 57664, ID_TOOLS_OPTIONS = 32771, ID_TOOLS_ACCESS_LISTS = 32772 };

    Cvelmora_playerApp();
    ~Cvelmora_playerApp() override;

    // The one application object (null before it exists).
    static Cvelmora_playerApp* Instance();

    // Start-up; false when the program must end at once (the embedding,
    // automation and unregister switches, options it cannot use, or a frame
    // that cannot be made). "--service HOST:PORT" names the service for this
    // run only: the stored settings keep their own address.
    bool InitInstance(const std::vector<std::string>& arguments);
    // Shutdown: the cache is deleted when the settings ask for it.
    int ExitInstance(int exitCode = 0);

    bool SignIn();
    void RefreshAppMessages() override;
    std::string GetStatusText() override;
    std::string GetCurrentMessageUrl() override;
    std::string GetCurrentMessageId() override;
    void WriteLog(const std::string& text);
    void SetBarText(const std::string& text);

    // Commands of the application object.
    void OnAppAbout();
    void OnToolsOptions();
    void OnToolsAccessLists();
    bool OnCommand(int id) override;
    bool HandlesCommand(int id) const override;

    CMainFrame* GetMainFrame() const { return frame_.get(); }
    Cvelmora_playerDoc* GetDocument() const { return document_.get(); }
    // The library view (the frame's left pane) and the player view (right).
    QObject* GetLibraryView() const;
    QObject* GetPlayerView() const;
    LogFile& Log() { return log_; }

    // The access lists dialog, run by Tools > Access Lists... after a
    // successful sign-in with the library view. The command is offered only
    // while a runner is in place: one is for as long as its
    // ScopedAccessListsRunner lives, and the one before comes back after.
    using AccessListsRunner = std::function<void(QObject* libraryView)>;
    // The program's runner: the access lists dialog in management mode.
    static void RunAccessListsDialog(QObject* libraryView);
    class ScopedAccessListsRunner : public ScopedHook<AccessListsRunner> {
    public:
        explicit ScopedAccessListsRunner(AccessListsRunner runner);
    };

    // The makers of the frame's two panes: the real views, unless other
    // makers are in place for as long as a ScopedPanes lives.
    static CMainFrame::Panes DefaultPanes();
    class ScopedPanes : public ScopedHook<std::optional<CMainFrame::Panes>> {
    public:
        explicit ScopedPanes(CMainFrame::Panes panes);
    };

    // Makes the QApplication and the application object, runs the program
    // and returns its exit code.
    static int Run(int argc, char** argv);

private:
    LogFile log_;
    AppMessageStore store_;
    std::mutex storeMutex_;
    std::unique_ptr<Cvelmora_playerDoc> document_;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<ScopedRunServiceSettings> runService_;
    std::unique_ptr<AppContext::ScopedSignInLoop> signInLoop_;
};

} // namespace velmora
