#include "velmora_player_app.h"

#include "about_dialog.h"
#include "acls_dialog.h"
#include "app_context.h"
#include "cache_files.h"
#include "command_line.h"
#include "component_factory.h"
#include "input_box_dialog.h"
#include "main_frame.h"
#include "message_boxes.h"
#include "message_poller.h"
#include "modal_runner.h"
#include "mpris_player.h"
#include "notification_client.h"
#include "options_dialog.h"
#include "qt_message_boxes.h"
#include "run_service_settings.h"
#include "signin_dialog.h"
#include "stealth_dialog.h"
#include "string_table.h"
#include "text_prompt.h"
#include "text_utils.h"
#include "velmora_player_view.h"
#include "wait_cursor.h"
#include "window_messages.h"

#include <QApplication>

#include <cstdio>

#include <optional>
#include <utility>

namespace velmora {

namespace {

Cvelmora_playerApp* theApp = nullptr;

Cvelmora_playerApp::AccessListsRunner& accessListsRunner() {
    static Cvelmora_playerApp::AccessListsRunner runner;
    return runner;
}

std::optional<CMainFrame::Panes>& installedPanes() {
    static std::optional<CMainFrame::Panes> panes;
    return panes;
}

constexpr const char* kHelpPath = "/products/windows/velmora-player.html";
constexpr const char* kNotConnected = "Player is not connected to velmora server.";
constexpr const char* kWelcome = "Welcome to velmora media player";

// True (after saying why on stderr) when the options cannot be used.
bool badOptions(const CommandLineOptions& options) {
    if (options.error.empty())
        return false;
    std::fprintf(stderr, "velmora-player: %s\n", options.error.c_str());
    return true;
}

} // namespace

Cvelmora_playerApp::Cvelmora_playerApp() {
    theApp = this;
}

Cvelmora_playerApp::~Cvelmora_playerApp() {
    frame_.reset();
    document_.reset();
    runService_.reset();
    log_.Close();
    if (theApp == this)
        theApp = nullptr;
}

Cvelmora_playerApp* Cvelmora_playerApp::Instance() {
    return theApp;
}

Cvelmora_playerApp::ScopedAccessListsRunner::ScopedAccessListsRunner(AccessListsRunner runner)
    : ScopedHook(accessListsRunner(), std::move(runner)) {}

Cvelmora_playerApp::ScopedPanes::ScopedPanes(CMainFrame::Panes panes)
    : ScopedHook(installedPanes(), std::move(panes)) {}

bool Cvelmora_playerApp::InitInstance(const std::vector<std::string>& arguments) {
    // The registry key of the layout values.
    QCoreApplication::setOrganizationName("velmora media player");
    QCoreApplication::setApplicationName("velmora_player");

    // Embedding, automation and unregistering: nothing to show, nothing to log.
    if (EndsAtOnce(arguments))
        return false;
    const CommandLineOptions options = ParseCommandLine(arguments);
    if (badOptions(options))
        return false;
    if (options.service) {
        // The proxy reaches the service through the settings component, which
        // answers with the context's address while this lives.
        AppContext::Instance().SetHost(options.service->host);
        AppContext::Instance().SetPort(options.service->port);
        runService_ = std::make_unique<ScopedRunServiceSettings>();
    }

    frame_ =
        std::make_unique<CMainFrame>(this, installedPanes() ? *installedPanes() : DefaultPanes());
    document_ = std::make_unique<Cvelmora_playerDoc>(*this);
    frame_->AddCommandTarget(document_.get());
    frame_->AddCommandTarget(this);
    if (!frame_->Create()) {
        frame_.reset();
        return false;
    }
    // The library view handles its own commands (File > Save) once it offers them.
    if (auto* library = dynamic_cast<CommandTarget*>(frame_->GetLibraryView()))
        frame_->AddCommandTarget(library);
    QtMessageBoxes::setMainWindow(frame_.get());
    frame_->show();
    frame_->setWindowTitle(QString::fromStdString(LoadString(101)));
    // What plays shows in the title and on the desktop's media controls.
    if (auto* player = qobject_cast<Cvelmora_playerView*>(frame_->GetPlayerView())) {
        QObject::connect(
            player, &Cvelmora_playerView::nowPlayingTitleChanged, frame_.get(),
            [frame = frame_.get(), name = frame_->windowTitle()](const QString& title) {
                frame->setWindowTitle(title.isEmpty() ? name : title + " - " + name);
            });
        MprisPlayer::Publish(*player, frame_.get());
    }

    if (!log_.Open("velmora_player.log")) {
        ShowMessage(log_.ErrorText());
        return true;
    }

    AppContext& context = AppContext::Instance();
    context.SetHelpPath(kHelpPath);
    if (auto settings = CreateComponent<ISettingsStore>(CLSID_SettingsStore)) {
        try {
            context.SetHost(settings->Host());
            context.SetPort(settings->Port());
        } catch (const ComError& e) {
            // Start-up goes on with the defaults; the log says why.
            WriteLog("Settings could not be read: " + e.message());
        }
    } else {
        WriteLog("Settings could not be read: " + ErrorMessageText(REGDB_E_CLASSNOTREG));
    }

    WriteLog("Velmora Media Player started");
    // Refresh in the library signs in again through the same loop.
    signInLoop_ = std::make_unique<AppContext::ScopedSignInLoop>([this] { return SignIn(); });
    SignIn();
    return true;
}

int Cvelmora_playerApp::ExitInstance(int exitCode) {
    if (auto settings = CreateComponent<ISettingsStore>(CLSID_SettingsStore)) {
        try {
            if (IsTrue(settings->CleanUpOnExit()))
                CleanUpCache();
        } catch (const ComError& e) {
            WriteLog("Settings could not be read at exit: " + e.message());
        }
    }
    signInLoop_.reset();
    frame_.reset();
    runService_.reset();
    AppContext::Destroy();
    return exitCode;
}

bool Cvelmora_playerApp::SignIn() {
    AppContext& context = AppContext::Instance();
    if (context.IsConnected())
        return true;

    CSigninDlg dialog(frame_.get());
    while (RunModal(dialog) == QDialog::Accepted) {
        WaitCursor wait;
        ServiceClient& client = context.GetServiceClient();
        if (client.Login(dialog.accountId, dialog.password)) {
            CStealthDialog pause;
            RunModal(pause);
            if (QObject* library = GetLibraryView())
                SendMessage(library, UM_POPULATE_LIBRARY, 0, 0);
            if (!client.IsPlusAccount())
                RefreshAppMessages();
            break;
        }
        ShowMessage(client.GetLastError());
    }
    return context.IsConnected();
}

void Cvelmora_playerApp::RefreshAppMessages() {
    std::lock_guard lock(storeMutex_);
    std::string path;
    if (AppContext::Instance().GetServiceClient().GetAppMessageFile(path))
        store_.Parse(ReadWholeFile(path));
}

std::string Cvelmora_playerApp::GetStatusText() {
    std::lock_guard lock(storeMutex_);
    std::string text = store_.NextText();
    if (text.empty())
        text = kNotConnected;
    if (AppContext::Instance().GetServiceClient().IsPlusAccount())
        text = kWelcome;
    return text;
}

std::string Cvelmora_playerApp::GetCurrentMessageUrl() {
    std::lock_guard lock(storeMutex_);
    return store_.CurrentLink();
}

std::string Cvelmora_playerApp::GetCurrentMessageId() {
    std::lock_guard lock(storeMutex_);
    return store_.CurrentId();
}

void Cvelmora_playerApp::WriteLog(const std::string& text) {
    log_.Write(text);
}

void Cvelmora_playerApp::SetBarText(const std::string& text) {
    if (frame_)
        SendMessage(frame_.get(), UM_SET_BAR_TEXT, 0, textParam(text));
}

QObject* Cvelmora_playerApp::GetLibraryView() const {
    return frame_ ? frame_->GetLibraryView() : nullptr;
}

QObject* Cvelmora_playerApp::GetPlayerView() const {
    return frame_ ? frame_->GetPlayerView() : nullptr;
}

void Cvelmora_playerApp::OnAppAbout() {
    CAboutDlg about(frame_.get());
    RunModal(about);
}

void Cvelmora_playerApp::OnToolsOptions() {
    COptionsDialog dialog(frame_.get());
    auto settings = CreateComponent<ISettingsStore>(CLSID_SettingsStore);
    AppContext& context = AppContext::Instance();
    try {
        if (settings)
            dialog.SetValues(settings->Host(), std::to_string(settings->Port()),
                             IsTrue(settings->CleanUpOnExit()),
                             settings->GetValue("repeat_on_play") == "yes");
        else
            dialog.SetValues(context.GetHost(), std::to_string(context.GetPort()), false, false);
    } catch (const ComError&) {
        dialog.SetValues(context.GetHost(), std::to_string(context.GetPort()), false, false);
    }
    if (RunModal(dialog) != QDialog::Accepted)
        return;

    const int port = TextToNumber(dialog.port);
    const std::string repeat = dialog.repeat ? "yes" : "no";
    // Each value is written in turn; one that cannot be stored does not keep
    // the others, nor the program's own copies, from taking the new value.
    std::string failure;
    auto store = [&](const std::function<void(ISettingsStore&)>& write) {
        try {
            if (!settings)
                throw ComError(REGDB_E_CLASSNOTREG, CLSID_SettingsStore);
            write(*settings);
        } catch (const ComError& e) {
            if (failure.empty())
                failure = e.message();
        }
    };
    store([&](ISettingsStore& s) { s.SetHost(dialog.host); });
    context.SetHost(dialog.host);
    store([&](ISettingsStore& s) { s.SetPort(port); });
    context.SetPort(port);
    store([&](ISettingsStore& s) { s.SetCleanUpOnExit(ToVariantBool(dialog.cleanUp)); });
    if (QObject* player = GetPlayerView())
        SendMessage(player, UM_SET_REPEAT, 0, textParam(repeat));
    store([&](ISettingsStore& s) { s.SetValue("repeat_on_play", repeat); });
    if (!failure.empty())
        ShowMessage("The options could not be saved: " + failure);
}

void Cvelmora_playerApp::OnToolsAccessLists() {
    // Without a dialog to run, no sign-in that leads nowhere.
    if (!accessListsRunner() || !SignIn())
        return;
    if (auto& runner = accessListsRunner())
        runner(GetLibraryView());
}

void Cvelmora_playerApp::RunAccessListsDialog(QObject* libraryView) {
    CAclsDialog dialog;
    dialog.viewWindow = libraryView;
    dialog.mode = CAclsDialog::Management;
    RunModal(dialog);
}

bool Cvelmora_playerApp::HandlesCommand(int id) const {
    if (id == ID_TOOLS_ACCESS_LISTS)
        return static_cast<bool>(accessListsRunner());
    return id == ID_APP_ABOUT || id == ID_TOOLS_OPTIONS;
}

bool Cvelmora_playerApp::OnCommand(int id) {
    switch (id) {
    case ID_APP_ABOUT:
        OnAppAbout();
        return true;
    case ID_TOOLS_OPTIONS:
        OnToolsOptions();
        return true;
    case ID_TOOLS_ACCESS_LISTS:
        if (!HandlesCommand(id))
            return false;
        OnToolsAccessLists();
        return true;
    default:
        return false;
    }
}

int Cvelmora_playerApp::Run(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    if (EndsAtOnce(arguments))
        return 0;
    if (badOptions(ParseCommandLine(arguments)))
        return 2;
    QApplication qapp(argc, argv);
    // The desktop matches the windows to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(VELMORA_APP_ID));
    InstallMessageBoxes(std::make_shared<QtMessageBoxes>());
    // The poller's failures go to the log. The context (and with it the
    // poller and its worker) ends in ExitInstance, before the application
    // object and its log.
    AppContext::SetPollerMaker([](ServiceClient& client) {
        return MakeMessagePoller(client, [](const std::string& text) {
            if (Cvelmora_playerApp* app = Instance())
                app->WriteLog(text);
        });
    });
    ScopedAccessListsRunner accessLists(&Cvelmora_playerApp::RunAccessListsDialog);
    ScopedTextPrompter prompter([](const std::string& prompt, const std::string& initial) {
        return Prompt(prompt, initial);
    });
    NotificationClient notificationClient;
    ScopedDesktopNotifications notifications(notificationClient.Notifications());
    Cvelmora_playerApp app;
    if (!app.InitInstance(arguments))
        return app.ExitInstance(1);
    int code = qapp.exec();
    return app.ExitInstance(code);
}

} // namespace velmora
