#include "transfer_status.h"

#include "transfer_context.h"
#include "transfer_progress_display.h"
#include "window_messages.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace velmora {

namespace {

QString Megabytes(std::uint64_t bytes) {
    return QString::number(static_cast<double>(bytes) / 1e6, 'f', 1);
}

} // namespace

CTransferStatus::CTransferStatus(QWidget* parent)
    : QWidget(parent), label_(new QLabel(this)), bar_(new QProgressBar(this)) {
    setObjectName("transferStatus");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    bar_->setRange(0, kBarRange);
    bar_->setTextVisible(false);
    bar_->setMaximumWidth(160);
    bar_->setAccessibleName(QStringLiteral("Transfer progress"));
    Refresh();
}

bool CTransferStatus::event(QEvent* e) {
    if (!WindowMessage::isWindowMessage(e))
        return QWidget::event(e);
    auto* message = static_cast<WindowMessage*>(e);
    const char* wText = paramText(static_cast<std::intptr_t>(message->wParam()));
    const char* lText = paramText(message->lParam());
    switch (message->message()) {
    case UM_TRANSFER_PROGRESS:
        if (const auto report = TransferProgressReport::Parse(wText, lText))
            running_[report->item] = {report->done, report->total};
        break;
    case UM_DOWNLOAD_DONE:
    case UM_UPLOAD_DONE:
        if (const auto context = lText ? TransferContext::Parse(lText) : std::nullopt)
            running_.erase(context->item);
        break;
    default:
        return QWidget::event(e);
    }
    Refresh();
    message->setResult(0);
    message->accept();
    return true;
}

void CTransferStatus::Refresh() {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    for (const auto& [item, progress] : running_) {
        done += progress.done;
        total += progress.total;
    }
    setVisible(!running_.empty());
    label_->setText((running_.size() == 1 ? QStringLiteral("%1 transfer, %2 of %3 MB")
                                          : QStringLiteral("%1 transfers, %2 of %3 MB"))
                        .arg(running_.size())
                        .arg(Megabytes(done), Megabytes(total)));
    bar_->setValue(total == 0 ? kBarRange
                              : static_cast<int>(static_cast<double>(done) * kBarRange /
                                                 static_cast<double>(total)));
}

} // namespace velmora
