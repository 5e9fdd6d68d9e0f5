#pragma once

// The right-hand pane of the main window: the media player control over the
// whole client area, and the queue of local files it plays one after the
// other, telling the window that queued a file when it starts and ends.

#include "play_queue.h"
#include "player_control.h"
#include "window_messages.h"

#include <QSize>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <memory>

namespace velmora {

class COcxwmp;

class Cvelmora_playerView : public QWidget {
    Q_OBJECT
public:
    // With the real media player control.
    explicit Cvelmora_playerView(QWidget* parent = nullptr);
    // With any control in its place, and the queue polling at period.
    Cvelmora_playerView(std::unique_ptr<IPlayerControl> control, QWidget* parent = nullptr,
                        std::chrono::milliseconds period = PlayQueue::kPollPeriod);
    // Stops the queue's worker and waits for it to end before anything of
    // the view goes.
    ~Cvelmora_playerView() override;

    // Once the view is in place: reads "repeat_on_play" and starts the
    // queue's worker. Later calls do nothing.
    void OnInitialUpdate();

    PlayQueue& Queue() { return queue_; }
    IPlayerControl& Control() { return *control_; }
    // The media player control; null when another control stands in for it.
    COcxwmp* Player() const;

    // The title of what plays now (its tags' title, else its name); empty
    // while the player is idle.
    QString NowPlayingTitle() const { return nowPlayingTitle_; }

    QSize sizeHint() const override { return QSize(640, 400); }

signals:
    void nowPlayingTitleChanged(const QString& title);
    // Entries were added or one was taken off.
    void queueChanged();

protected:
    void customEvent(QEvent* e) override;

private:
    LRESULT OnMediaFile(WPARAM wParam, LPARAM lParam);
    LRESULT OnPlayerBusy();
    LRESULT OnPlayEntry(LPARAM lParam);
    LRESULT OnSetRepeat(LPARAM lParam);
    void ReportPendingFinish();
    void UpdateNowPlayingTitle();

    PlayQueue queue_;
    // The entry playing now, when its sender asked to hear of its end.
    std::int32_t pendingItem_ = 0;
    Handle pendingWindow_ = 0;
    std::unique_ptr<IPlayerControl> control_;
    bool initialised_ = false;
    QString nowPlayingTitle_;
};

} // namespace velmora
