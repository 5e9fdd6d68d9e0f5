#pragma once

// What the proxy tests share: a settings store pointing at a test service, a
// window that records the transfer messages, and model dumps for comparison.

#include "component_factory.h"
#include "service_process.h"
#include "service_proxy.h"
#include "settings_store.h"
#include "window_messages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace velmora::test {

// Records every UM_DOWNLOAD_DONE and UM_UPLOAD_DONE it receives, with its
// texts, and apart from them every UM_TRANSFER_PROGRESS with the time it came.
class DoneWindow : public QObject {
public:
    struct Done {
        int message;
        std::string error;
        std::string context;
    };
    struct Progress {
        std::string context;
        std::uint64_t done = 0;
        std::uint64_t total = 0;
        std::chrono::steady_clock::time_point at;
    };
    bool event(QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return QObject::event(e);
        auto* m = static_cast<WindowMessage*>(e);
        const char* wText = paramText(static_cast<std::intptr_t>(m->wParam()));
        if (m->message() == UM_TRANSFER_PROGRESS) {
            Progress p{paramText(m->lParam()), 0, 0, std::chrono::steady_clock::now()};
            std::istringstream(wText) >> p.done >> p.total;
            progress.push_back(p);
        } else {
            done.push_back({m->message(), wText, paramText(m->lParam())});
        }
        return true;
    }
    std::vector<Done> done;
    std::vector<Progress> progress;
};

// Checks the condition every step until it holds or the time is up; between
// checks runs the event loop when asked to.
inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 10000,
                      std::chrono::microseconds step = std::chrono::microseconds(200),
                      bool pumpEvents = false) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        if (pumpEvents)
            QCoreApplication::processEvents();
        std::this_thread::sleep_for(step);
    }
    return true;
}

// Runs the event loop until the condition holds or the time is up.
inline bool PumpUntil(const std::function<bool()>& condition, int milliseconds = 20000) {
    // processEvents with a time limit spins; a short sleep leaves the cores
    // to the transfers.
    return WaitUntil(condition, milliseconds, std::chrono::milliseconds(2), true);
}

// The settings component the proxy reads at sign-in, over a file of its own.
class TestSettings {
public:
    TestSettings()
        : path_(dir_.path() + "/settings.ini"),
          scope_(CLSID_SettingsStore, [this] { return std::make_shared<SettingsStore>(path_); }) {}
    void point(const std::string& host, int port) {
        SettingsStore store(path_);
        store.SetHost(host);
        store.SetPort(port);
    }
    void setValue(const std::string& name, const std::string& value) {
        SettingsStore(path_).SetValue(name, value);
    }

private:
    QTemporaryDir dir_;
    QString path_;
    ScopedComponent scope_;
};

inline std::shared_ptr<IServiceProxy> NewProxy() {
    RegisterProxyComponent();
    return CreateComponent<IServiceProxy>(CLSID_velmoraPrxy);
}

// The proxy's last error text after the call failed with a COM error; a
// call that does not fail fails the test.
template <class Fn>
std::string FailureText(const std::shared_ptr<IServiceProxy>& proxy, Fn&& fn,
                        HRESULT* hr = nullptr) {
    try {
        fn();
    } catch (const ComError& e) {
        if (hr)
            *hr = e.hr();
        EXPECT_TRUE(FAILED(e.hr()));
        return proxy->LastErrorText();
    }
    ADD_FAILURE() << "the call did not fail";
    return "<no error>";
}

template <class T> std::shared_ptr<T> As(const ComPtr& object) {
    auto typed = QueryInterface<T>(object);
    EXPECT_TRUE(typed) << "object does not offer the interface";
    return typed;
}

// One line per folder and file, indented by depth: the model as a text.
// Folders show their ids; files only their names, since the ids of seeded
// files depend on which demo media the service could make.
inline void DumpFolder(const std::shared_ptr<IFolder>& folder, int depth, std::string& out) {
    out += std::string(static_cast<std::size_t>(depth * 2), ' ') + "[" +
           std::to_string(folder->FolderId()) + "] " + folder->Name() +
           (folder->AccessListId() > 0 ? " acl=" + std::to_string(folder->AccessListId()) : "") +
           (folder->Visible() ? "" : " hidden") + "\n";
    for (int i = 0; i < folder->SubfolderCount(); ++i)
        DumpFolder(As<IFolder>(folder->Subfolder(i)), depth + 1, out);
    for (int i = 0; i < folder->FileCount(); ++i) {
        auto file = As<IMediaFile>(folder->File(i));
        out += std::string(static_cast<std::size_t>(depth * 2 + 2), ' ') + file->Name() + "\n";
    }
}

inline std::string DumpUser(const std::shared_ptr<IUserProfile>& user) {
    return std::to_string(user->UserId()) + " " + user->AccountId() + " " + user->FirstName() +
           " " + user->LastName() + " <" + user->Email() + ">" +
           (IsTrue(user->IsPlus()) ? " plus" : "") +
           (IsTrue(user->IsHigherTier1()) ? " gold" : "") +
           (IsTrue(user->IsHigherTier2()) ? " platinum" : "");
}

// The whole account: profile, library, sharing users with their folders, lists.
inline std::string DumpAccount(const std::shared_ptr<IAccount>& account) {
    std::string out = "profile " + DumpUser(As<IUserProfile>(account->Profile())) + "\n";
    DumpFolder(As<IFolder>(account->LibraryRoot()), 0, out);
    for (int i = 0; i < account->SharingUserCount(); ++i) {
        auto user = As<IUserProfile>(account->SharingUser(i));
        out += "sharing " + DumpUser(user) + " listed=" + std::to_string(user->Listed()) + "\n";
        for (int f = 0; f < user->SharedFolderCount(); ++f)
            DumpFolder(As<IFolder>(user->SharedFolder(f)), 1, out);
    }
    for (int i = 0; i < account->AccessListCount(); ++i) {
        auto list = As<IAccessList>(account->AccessList(i));
        out += "list [" + std::to_string(list->Id()) + "] " + list->Name() + "\n";
        for (int m = 0; m < list->MemberCount(); ++m)
            out += "  member " + DumpUser(As<IUserProfile>(list->Member(m))) + "\n";
    }
    return out;
}

// A signed-in proxy against a service of its own, for each test.
class ProxyFixture : public ::testing::Test {
protected:
    void SetUp() override {
        // The cache folder lives in the temporary folder: each test gets its
        // own, so parallel test programs never share "v_player".
        ASSERT_TRUE(temp_.isValid());
        const char* old = std::getenv("TMPDIR");
        savedTemp_ = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("TMPDIR", QFile::encodeName(temp_.path()).constData(), 1);
        ASSERT_TRUE(service_.start()) << "velmora-service did not start";
        settings_.point("127.0.0.1", service_.port());
        proxy_ = NewProxy();
        ASSERT_TRUE(proxy_);
    }

    void signIn(const std::string& account, const std::string& password) {
        proxy_->Login(account, password);
        ASSERT_EQ(proxy_->SignedIn(), VARIANT_TRUE) << proxy_->LoginFailureText();
        account_ = As<IAccount>(proxy_->Account());
        ASSERT_TRUE(account_);
        root_ = As<IFolder>(account_->LibraryRoot());
        ASSERT_TRUE(root_);
    }

    void TearDown() override {
        proxy_.reset();
        if (savedTemp_)
            setenv("TMPDIR", savedTemp_->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

    std::shared_ptr<IFolder> folder(std::int32_t id) { return As<IFolder>(root_->FindFolder(id)); }
    proxy::ServiceProxy& real() { return dynamic_cast<proxy::ServiceProxy&>(*proxy_); }

    static std::string readFile(const std::string& path) {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::ReadOnly))
            return "<unreadable>";
        return file.readAll().toStdString();
    }

    QTemporaryDir temp_;
    std::optional<std::string> savedTemp_;
    ServiceProcess service_;
    TestSettings settings_;
    std::shared_ptr<IServiceProxy> proxy_;
    std::shared_ptr<IAccount> account_;
    std::shared_ptr<IFolder> root_;
};

} // namespace velmora::test
