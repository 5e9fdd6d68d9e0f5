#pragma once

// The status bar's account of the running transfers: "n transfers, x of y MB"
// and a bar for all of them together. It learns of each transfer from the
// progress messages the library tree passes on, and forgets it at its done
// message; with nothing running it is hidden.

#include "handle_registry.h"

#include <QWidget>

#include <cstdint>
#include <map>

class QLabel;
class QProgressBar;

namespace velmora {

class CTransferStatus : public QWidget {
    Q_OBJECT
public:
    // The bar's range: fine enough for a smooth bar, small enough for an int.
    static constexpr int kBarRange = 1000;

    explicit CTransferStatus(QWidget* parent = nullptr);

    QLabel* Label() const { return label_; }
    QProgressBar* Bar() const { return bar_; }

protected:
    // UM_TRANSFER_PROGRESS, UM_DOWNLOAD_DONE and UM_UPLOAD_DONE.
    bool event(QEvent* e) override;

private:
    struct Progress {
        std::uint64_t done = 0;
        std::uint64_t total = 0;
    };

    void Refresh();

    QLabel* label_;
    QProgressBar* bar_;
    // Running transfers by their items.
    std::map<Handle, Progress> running_;
};

} // namespace velmora
