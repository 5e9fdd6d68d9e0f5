#pragma once

// The program's own window messages, carried as Qt events whose type is the
// message number, and the send and post helpers the threads use to reach windows.

#include "handle_registry.h"

#include <QEvent>

#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>

class QObject;

namespace velmora {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

enum WindowMessageId : int {
    UM_SET_BAR_TEXT = 0x525,
    UM_OPEN_USER_DIALOG = 0x52F,
    UM_SET_ITEM_IMAGE = 0x5F4,
    UM_TREE_LBUTTONUP = 0x745,
    UM_TREE_LBUTTONDOWN = 0x746,
    UM_TREE_MOUSEMOVE = 0x747,
    UM_TREE_MBUTTONDOWN = 0x748,
    UM_TREE_RBUTTONDOWN = 0x749,
    UM_TREE_MOUSEWHEEL = 0x750,
    UM_TREE_KEYUP = 0x751,
    UM_TREE_KEYDOWN = 0x752,
    UM_TREE_DROPFILES = 0x753,
    UM_TREE_LBUTTONDBLCLK = 0x754,
    UM_POPULATE_LIBRARY = 0x7E9,
    UM_USER_MESSAGE = 0x800,
    UM_USER_DIALOG_CLOSED = 0x9DC,
    UM_FOCUS_USER_DIALOG = 0x9DD,
    UM_DOWNLOAD_DONE = 0xBD0,
    UM_UPLOAD_DONE = 0xBD1,
    // Posted by the proxy: wParam "<done> <total>" in bytes, lParam the context text.
    UM_TRANSFER_PROGRESS = 0xBD2,
    UM_MEDIA_FILE = 0x1594,
    UM_PLAYER_BUSY = 0x1595,
    UM_PLAY_ENTRY = 0x1596,
    UM_NOW_PLAYING = 0x1598,
    UM_PLAYING_ENDED = 0x1599,
    UM_SET_REPEAT = 0x15F8,
};

// Every message id above lies between QEvent::User and QEvent::MaxUser, so it
// is used as the event type as it stands.
constexpr QEvent::Type eventType(int message) {
    return static_cast<QEvent::Type>(message);
}

// Texts handed to a window by pointer: a message's wParam or lParam set with
// textParam() points at a zero-terminated text.
inline LPARAM textParam(const std::string& text) {
    return reinterpret_cast<LPARAM>(text.c_str());
}
inline const char* paramText(std::intptr_t param) {
    return reinterpret_cast<const char*>(param);
}

// One window message. A handler reads the parameters, sets result and accepts
// the event; the sender gets result back.
class WindowMessage : public QEvent {
public:
    WindowMessage(int message, WPARAM wParam, LPARAM lParam);

    int message() const { return static_cast<int>(type()); }
    WPARAM wParam() const { return wParam_; }
    LPARAM lParam() const { return lParam_; }
    LRESULT result() const { return result_; }
    void setResult(LRESULT r) { result_ = r; }

    static bool isWindowMessage(const QEvent* e);

private:
    WPARAM wParam_;
    LPARAM lParam_;
    LRESULT result_ = 0;
};

// Synchronous send. On the user-interface thread the target handles the
// message before this returns. From any other thread the message is handed to
// the user-interface thread and the caller blocks until it has been handled,
// as a worker's SendMessage would. A target that is gone (or goes before the
// message is delivered) gets nothing and the result is 0.
//
// A worker that may itself be waited for by the user-interface thread passes
// its stop token: when stop is requested before delivery has begun, the send is
// abandoned (never delivered) and returns 0, so the two threads cannot
// deadlock. Texts passed by pointer need only live until this returns.
LRESULT SendMessage(Handle window, int message, WPARAM wParam = 0, LPARAM lParam = 0,
                    std::stop_token stop = {});
LRESULT SendMessage(QObject* window, int message, WPARAM wParam = 0, LPARAM lParam = 0,
                    std::stop_token stop = {});

// Asynchronous post from any thread; delivered later on the user-interface
// thread in posting order, and dropped when the target is gone by then.
bool PostMessage(Handle window, int message, WPARAM wParam = 0, LPARAM lParam = 0);

// Post with texts the message owns until it has been handled: wParam points
// at wParamText and lParam at lParamText (zero-terminated).
bool PostTextMessage(Handle window, int message, std::string wParamText, std::string lParamText);

// True on the thread that runs the application's event loop.
bool IsUiThread();

} // namespace velmora
