#pragma once

// What the library tests share: a signed-in scripted model, a stand-in for
// the player view, and item and file look-ups.

#include "app_context.h"
#include "component_factory.h"
#include "left_view.h"
#include "scripted_proxy.h"
#include "service_client.h"
#include "window_messages.h"

#include <QFile>
#include <QObject>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace velmora::test {

// Puts a scripted proxy in place of the proxy component and gives the program
// a new AppContext signed in to it; the context ends with the guard.
class SignedInModel {
public:
    explicit SignedInModel(std::shared_ptr<ScriptedProxy> proxy)
        : component_(CLSID_velmoraPrxy, [proxy] { return proxy; }) {
        AppContext::Destroy();
        signedIn_ = AppContext::Instance().GetServiceClient().Login("ada", "secret");
    }
    ~SignedInModel() { AppContext::Destroy(); }
    SignedInModel(const SignedInModel&) = delete;
    SignedInModel& operator=(const SignedInModel&) = delete;

    bool signedIn() const { return signedIn_; }

private:
    ScopedComponent component_;
    bool signedIn_ = false;
};

// Stands in for the player view: records the files handed to it.
class FakePlayer : public QObject {
public:
    std::vector<std::pair<std::string, std::string>> files; // wParam text, path

protected:
    void customEvent(QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return;
        auto* m = static_cast<WindowMessage*>(e);
        if (m->message() == UM_MEDIA_FILE)
            files.emplace_back(paramText(static_cast<LPARAM>(m->wParam())), paramText(m->lParam()));
    }
};

// The first child with the text, or null.
inline QTreeWidgetItem* Child(QTreeWidgetItem* parent, const std::string& text) {
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (CLeftView::ItemText(parent->child(i)) == text)
            return parent->child(i);
    return nullptr;
}

inline int CountChildren(QTreeWidgetItem* parent, const std::string& text) {
    int n = 0;
    for (int i = 0; i < parent->childCount(); ++i)
        n += CLeftView::ItemText(parent->child(i)) == text;
    return n;
}

inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes the bytes to the path and gives the path back.
inline QString WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

} // namespace velmora::test
