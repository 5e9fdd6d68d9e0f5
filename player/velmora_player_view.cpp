#include "velmora_player_view.h"

#include "component_factory.h"
#include "component_interfaces.h"
#include "ocxwmp.h"
#include "text_utils.h"

#include <QByteArray>
#include <QFile>
#include <QVBoxLayout>
#include <QtDebug>

#include <cstring>

namespace velmora {

namespace {

WPARAM ItemParam(std::int32_t item) {
    return static_cast<WPARAM>(static_cast<LPARAM>(item));
}

// Only the exact text "yes" switches repeat on.
bool IsYes(const char* text) {
    return text && std::strcmp(text, "yes") == 0;
}

} // namespace

Cvelmora_playerView::Cvelmora_playerView(QWidget* parent)
    : Cvelmora_playerView(std::make_unique<COcxwmp>(), parent) {}

Cvelmora_playerView::Cvelmora_playerView(std::unique_ptr<IPlayerControl> control, QWidget* parent,
                                         std::chrono::milliseconds period)
    : QWidget(parent), queue_(period), control_(std::move(control)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (QWidget* window = control_->Window())
        layout->addWidget(window);
    if (COcxwmp* player = Player()) {
        connect(player, &COcxwmp::playStateChanged, this,
                &Cvelmora_playerView::UpdateNowPlayingTitle);
        connect(player, &COcxwmp::nowPlayingChanged, this,
                &Cvelmora_playerView::UpdateNowPlayingTitle);
    }
}

Cvelmora_playerView::~Cvelmora_playerView() {
    queue_.Stop();
}

COcxwmp* Cvelmora_playerView::Player() const {
    return dynamic_cast<COcxwmp*>(control_.get());
}

void Cvelmora_playerView::OnInitialUpdate() {
    if (initialised_)
        return;
    initialised_ = true;

    // Read before the worker starts, so the first entry taken already
    // follows the stored choice. A store that cannot be reached leaves
    // repeat off.
    bool repeat = false;
    if (auto store = CreateComponent<ISettingsStore>(CLSID_SettingsStore)) {
        try {
            repeat = store->GetValue("repeat_on_play") == "yes";
        } catch (const ComError& e) {
            qWarning("repeat_on_play could not be read: %s", e.what());
        }
    } else {
        qWarning("repeat_on_play could not be read: no settings store");
    }
    if (repeat)
        queue_.SetRepeat(true);

    queue_.SetOwner(HandleOf(this));
    queue_.Start();
}

void Cvelmora_playerView::customEvent(QEvent* e) {
    if (!WindowMessage::isWindowMessage(e)) {
        QWidget::customEvent(e);
        return;
    }
    auto* m = static_cast<WindowMessage*>(e);
    switch (m->message()) {
    case UM_MEDIA_FILE:
        m->setResult(OnMediaFile(m->wParam(), m->lParam()));
        break;
    case UM_PLAYER_BUSY:
        m->setResult(OnPlayerBusy());
        break;
    case UM_PLAY_ENTRY:
        m->setResult(OnPlayEntry(m->lParam()));
        break;
    case UM_SET_REPEAT:
        m->setResult(OnSetRepeat(m->lParam()));
        break;
    default:
        QWidget::customEvent(e);
        return;
    }
    m->accept();
}

LRESULT Cvelmora_playerView::OnMediaFile(WPARAM wParam, LPARAM lParam) {
    if (!lParam)
        return 0;
    const char* tail = wParam ? paramText(static_cast<LPARAM>(wParam)) : "";
    queue_.Add(paramText(lParam), tail);
    emit queueChanged();
    return 0;
}

LRESULT Cvelmora_playerView::OnPlayerBusy() {
    if (!IsIdlePlayState(control_->GetPlayState()))
        return 1;
    ReportPendingFinish();
    return 0;
}

void Cvelmora_playerView::ReportPendingFinish() {
    const Handle window = pendingWindow_;
    const std::int32_t item = pendingItem_;
    // Cleared before the send, so a window that reacts by asking again
    // cannot hear of the same end twice.
    pendingWindow_ = 0;
    pendingItem_ = 0;
    if (window && item)
        SendMessage(window, UM_PLAYING_ENDED, ItemParam(item), 0);
}

LRESULT Cvelmora_playerView::OnPlayEntry(LPARAM lParam) {
    if (!lParam)
        return 0;
    const EntryFields entry = ParseEntry(paramText(lParam));
    emit queueChanged();
    // Whatever played before is over now, even when the player was not idle.
    ReportPendingFinish();

    control_->SetURL(QFile::decodeName(QByteArray::fromStdString(entry.path)));
    const QString error = control_->ErrorText();
    if (!error.isEmpty()) {
        // A file that cannot even be opened (gone from the cache meanwhile)
        // is told once; the queue goes on with the next entry.
        const std::string text =
            "Cannot play " + FileNameOfPath(entry.path) + ": " + error.toStdString();
        qWarning("%s", text.c_str());
        if (QWidget* frame = window(); frame && frame != this)
            SendMessage(frame, UM_SET_BAR_TEXT, 0, textParam(text));
        return kEntryUnplayable;
    }
    control_->Play();

    if (entry.notifyWindow) {
        pendingWindow_ = entry.notifyWindow;
        pendingItem_ = entry.itemId;
        const std::string name = FileNameOfPath(entry.path);
        SendMessage(entry.notifyWindow, UM_NOW_PLAYING, ItemParam(entry.itemId), textParam(name));
    }
    return 0;
}

void Cvelmora_playerView::UpdateNowPlayingTitle() {
    const COcxwmp* player = Player();
    const QString title = player && !IsIdlePlayState(player->GetPlayState())
                              ? player->NowPlaying().DisplayTitle()
                              : QString();
    if (title == nowPlayingTitle_)
        return;
    nowPlayingTitle_ = title;
    emit nowPlayingTitleChanged(title);
}

LRESULT Cvelmora_playerView::OnSetRepeat(LPARAM lParam) {
    queue_.SetRepeat(IsYes(lParam ? paramText(lParam) : nullptr));
    return 0;
}

} // namespace velmora
