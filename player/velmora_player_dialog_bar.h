#pragma once

// The one-line message bar under the toolbar: rotating service messages for
// free accounts, a welcome for paid ones, or the note that the player is not
// connected; other windows put their own text there with UM_SET_BAR_TEXT.

#include <QFont>
#include <QWidget>

#include <string>

namespace velmora {

// What the bar asks of the application.
class BarTextSource {
public:
    virtual ~BarTextSource() = default;
    virtual std::string GetStatusText() = 0;
    virtual void RefreshAppMessages() = 0;
    virtual std::string GetCurrentMessageUrl() = 0;
    virtual std::string GetCurrentMessageId() = 0;
};

// The static control 1004 the text is drawn on.
class BarTextControl : public QWidget {
public:
    explicit BarTextControl(QWidget* parent);
    void setBarText(const std::string& text, const QFont& font);
    const std::string& barText() const { return text_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string text_;
    QFont font_;
};

class CVelmoraPlayerDialogBar : public QWidget {
    Q_OBJECT
public:
    enum { IDD = 128, IDC_TEXT = 1004, kStatusTimerMs = 20000, kRefreshTimerMs = 1800000 };

    explicit CVelmoraPlayerDialogBar(BarTextSource* source, QWidget* parent = nullptr);
    ~CVelmoraPlayerDialogBar() override;

    // The text padded with blanks to 255 characters, drawn at once.
    void ShowText(const std::string& text);
    const std::string& CurrentText() const { return text_; }
    const QFont& BarFont() const { return font_; }
    BarTextControl* TextControl() const { return control_; }

    // The browser command of a click: the player page base, the user id, the
    // message id, "velmoraplayer" and the URL-encoded link, "~" between.
    static std::string LinkParameter(const std::string& playerPageBase, int userId,
                                     const std::string& messageId, const std::string& link);
    // Opens the current message's link in the browser (a left click).
    void OpenCurrentLink();

    // The two timers' work.
    void OnStatusTimer();
    void OnRefreshTimer();

protected:
    void customEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    static QFont MakeFont();
    void StopTimers();

    BarTextSource* source_;
    QFont font_;
    std::string text_;
    BarTextControl* control_;
    int statusTimer_ = 0;
    int refreshTimer_ = 0;
};

} // namespace velmora
