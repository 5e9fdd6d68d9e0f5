#include "velmora_player_dialog_bar.h"

#include "app_context.h"
#include "cache_files.h"
#include "desktop_services.h"
#include "text_utils.h"
#include "wait_cursor.h"
#include "window_messages.h"
#include "wire/percent.h"

#include <QFontDatabase>
#include <QFontMetrics>

#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>
#include <algorithm>

namespace velmora {

namespace {
const QColor kTextColour(0, 0, 128);
const QColor kTextBackground(255, 255, 255);
const QColor kControlBrush(65, 105, 225);
} // namespace

BarTextControl::BarTextControl(QWidget* parent) : QWidget(parent) {
    setObjectName("1004");
    // Clicks belong to the bar.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void BarTextControl::setBarText(const std::string& text, const QFont& font) {
    text_ = text;
    font_ = font;
    update();
}

void BarTextControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kControlBrush);
    painter.setFont(font_);
    painter.setPen(kTextColour);
    painter.setBackground(kTextBackground);
    painter.setBackgroundMode(Qt::OpaqueMode);
    // One blank, then the text, at (1, -3) of the control: the top of the
    // text cell sits three pixels above the control's top edge.
    QFontMetrics metrics(font_);
    painter.drawText(QPoint(1, -3 + metrics.ascent()), QString::fromStdString(" " + text_));
}

CVelmoraPlayerDialogBar::CVelmoraPlayerDialogBar(BarTextSource* source, QWidget* parent)
    : QWidget(parent), source_(source), font_(MakeFont()) {
    setCursor(Qt::WhatsThisCursor);
    setMinimumSize(664, 28);
    control_ = new BarTextControl(this);
    control_->setGeometry(10, 10, 638, 18);
    statusTimer_ = startTimer(kStatusTimerMs);
    refreshTimer_ = startTimer(kRefreshTimerMs);
}

CVelmoraPlayerDialogBar::~CVelmoraPlayerDialogBar() {
    StopTimers();
}

QFont CVelmoraPlayerDialogBar::MakeFont() {
    QFont font;
    // The bar's face, or the closest installed one when it is missing.
    QStringList faces = {"Comic Sans MS", "Comic Neue", "Comic Relief", "Comic Mono"};
    QStringList installed = QFontDatabase::families();
    QStringList families;
    for (const QString& face : faces)
        if (installed.contains(face, Qt::CaseInsensitive))
            families << face;
    families << "Comic Sans MS"
             << "DejaVu Sans"
             << "Sans Serif";
    font.setFamilies(families);
    font.setStyleHint(QFont::Fantasy);
    // A height of 16 is the whole character cell, ascent and descent
    // together, not the size of the letters.
    font.setPixelSize(16);
    const int cell = QFontMetrics(font).height();
    if (cell > 16)
        font.setPixelSize(std::max(1, 16 * 16 / cell));
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}

void CVelmoraPlayerDialogBar::ShowText(const std::string& text) {
    text_ = PadRight(text, 255);
    if (control_)
        control_->setBarText(text_, font_);
}

std::string CVelmoraPlayerDialogBar::LinkParameter(const std::string& playerPageBase, int userId,
                                                   const std::string& messageId,
                                                   const std::string& link) {
    return playerPageBase + NumberToText(userId) + "~" + messageId + "~" + "velmoraplayer" + "~" +
           wire::PercentEncode(link);
}

void CVelmoraPlayerDialogBar::OpenCurrentLink() {
    if (!source_)
        return;
    std::string id = source_->GetCurrentMessageId();
    std::string link = source_->GetCurrentMessageUrl();
    if (link == "none")
        return;
    AppContext& context = AppContext::Instance();
    std::string parameter = LinkParameter(context.GetPlayerPageBase(),
                                          context.GetServiceClient().GetUserId(), id, link);
    WaitCursor wait;
    // With no browser found the start fails without a message.
    StartProgram(FindBrowser(), {parameter});
}

void CVelmoraPlayerDialogBar::OnStatusTimer() {
    if (source_)
        ShowText(source_->GetStatusText());
}

void CVelmoraPlayerDialogBar::OnRefreshTimer() {
    if (source_)
        source_->RefreshAppMessages();
}

void CVelmoraPlayerDialogBar::customEvent(QEvent* event) {
    if (!WindowMessage::isWindowMessage(event))
        return;
    auto* message = static_cast<WindowMessage*>(event);
    if (message->message() != UM_SET_BAR_TEXT)
        return;
    ShowText(message->lParam() ? paramText(message->lParam()) : "");
    message->setResult(0);
}

void CVelmoraPlayerDialogBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    control_->setGeometry(10, 10, std::max(0, width() - 26), 18);
    ShowText(text_);
}

void CVelmoraPlayerDialogBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        OpenCurrentLink();
    QWidget::mousePressEvent(event);
}

void CVelmoraPlayerDialogBar::timerEvent(QTimerEvent* event) {
    if (event->timerId() == statusTimer_)
        OnStatusTimer();
    else if (event->timerId() == refreshTimer_)
        OnRefreshTimer();
    QWidget::timerEvent(event);
}

void CVelmoraPlayerDialogBar::closeEvent(QCloseEvent* event) {
    StopTimers();
    QWidget::closeEvent(event);
}

void CVelmoraPlayerDialogBar::StopTimers() {
    if (statusTimer_)
        killTimer(statusTimer_);
    if (refreshTimer_)
        killTimer(refreshTimer_);
    statusTimer_ = refreshTimer_ = 0;
}

} // namespace velmora
