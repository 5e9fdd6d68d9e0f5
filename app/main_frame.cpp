#include "main_frame.h"

#include "command_target.h"
#include "icons.h"
#include "registry_settings.h"
#include "string_table.h"
#include "transfer_status.h"
#include "velmora_player_dialog_bar.h"
#include "window_messages.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>

namespace velmora {

namespace {

// The prompt of a command: status bar text, then "\n" and the tool tip.
std::pair<QString, QString> promptOf(int id) {
    QString prompt = QString::fromStdString(LoadString(id));
    int newline = prompt.indexOf('\n');
    if (newline < 0)
        return {prompt, QString()};
    return {prompt.left(newline), prompt.mid(newline + 1)};
}

} // namespace

CMainFrame::CMainFrame(BarTextSource* barSource, Panes panes, QWidget* parent)
    : QMainWindow(parent), barSource_(barSource), panes_(std::move(panes)) {
    setObjectName("CMainFrame");
    setWindowIcon(QIcon(IconPath(IDR_MAINFRAME)));
    // The size a first start opens with, before any placement was saved.
    resize(1024, 700);
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::MakeAction(int id, const QString& text, const QList<QKeySequence>& keys) {
    auto* action = new QAction(text, this);
    action->setData(id);
    auto [status, tip] = promptOf(id);
    action->setStatusTip(status);
    if (!tip.isEmpty())
        action->setToolTip(tip);
    if (!keys.isEmpty())
        action->setShortcuts(keys);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    actions_[id] = action;
    addAction(action); // accelerators work while the menus are closed
    return action;
}

QAction* CMainFrame::GetAction(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

bool CMainFrame::Create() {
    return CreateBars() && CreateClient();
}

bool CMainFrame::CreateBars() {
    using QKS = QKeySequence;
    MakeAction(ID_FILE_NEW, "&New", {QKS("Ctrl+N")});
    MakeAction(ID_FILE_OPEN, "&Open...\tctrl+o", {QKS("Ctrl+O")});
    MakeAction(ID_FILE_SAVE, "Save...\tctrl+s", {QKS("Ctrl+S")});
    MakeAction(ID_APP_EXIT, "E&xit");
    MakeAction(ID_EDIT_UNDO, "&Undo", {QKS("Ctrl+Z"), QKS("Alt+Backspace")});
    MakeAction(ID_EDIT_CUT, "Cu&t\tCtrl+X", {QKS("Ctrl+X"), QKS("Shift+Del")});
    MakeAction(ID_EDIT_COPY, "&Copy\tCtrl+C", {QKS("Ctrl+C"), QKS("Ctrl+Ins")});
    MakeAction(ID_EDIT_PASTE, "&Paste\tCtrl+V", {QKS("Ctrl+V"), QKS("Shift+Ins")});
    QAction* toolbarToggle = MakeAction(ID_VIEW_TOOLBAR, "&Toolbar");
    QAction* statusToggle = MakeAction(ID_VIEW_STATUS_BAR, "&Status Bar");
    MakeAction(ID_WINDOW_SPLIT, "S&plit");
    MakeAction(ID_TOOLS_ACCESS_LISTS, "&Access Lists...");
    MakeAction(ID_TOOLS_OPTIONS, "&Options...");
    MakeAction(ID_APP_ABOUT, "&About Velmora Media Player...");
    MakeAction(ID_NEXT_PANE, "Next Pane", {QKS("F6")});
    MakeAction(ID_PREV_PANE, "Previous Pane", {QKS("Shift+F6")});

    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(GetAction(ID_FILE_OPEN));
    file->addAction(GetAction(ID_FILE_SAVE));
    file->addSeparator();
    file->addAction(GetAction(ID_APP_EXIT));
    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->addAction(GetAction(ID_EDIT_CUT));
    edit->addAction(GetAction(ID_EDIT_COPY));
    edit->addAction(GetAction(ID_EDIT_PASTE));
    QMenu* view = menuBar()->addMenu("&View");
    view->addAction(toolbarToggle);
    view->addAction(statusToggle);
    view->addAction(GetAction(ID_WINDOW_SPLIT));
    QMenu* tools = menuBar()->addMenu("&Tools");
    tools->addAction(GetAction(ID_TOOLS_ACCESS_LISTS));
    tools->addSeparator();
    tools->addAction(GetAction(ID_TOOLS_OPTIONS));
    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction(GetAction(ID_APP_ABOUT));
    for (QMenu* menu : {file, edit, view, tools, help})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);

    toolBar_ = new QToolBar("Toolbar", this);
    toolBar_->setObjectName("toolbar");
    toolBar_->setIconSize(QSize(16, 15));
    toolBar_->setMovable(true);
    GetAction(ID_FILE_OPEN)->setIcon(QIcon(kToolbarOpenIcon));
    GetAction(ID_EDIT_CUT)->setIcon(QIcon(kToolbarCutIcon));
    GetAction(ID_EDIT_COPY)->setIcon(QIcon(kToolbarCopyIcon));
    GetAction(ID_EDIT_PASTE)->setIcon(QIcon(kToolbarPasteIcon));
    GetAction(ID_APP_ABOUT)->setIcon(QIcon(kToolbarAboutIcon));
    toolBar_->addAction(GetAction(ID_FILE_OPEN));
    toolBar_->addSeparator();
    toolBar_->addAction(GetAction(ID_EDIT_CUT));
    toolBar_->addAction(GetAction(ID_EDIT_COPY));
    toolBar_->addAction(GetAction(ID_EDIT_PASTE));
    toolBar_->addSeparator();
    toolBar_->addAction(GetAction(ID_APP_ABOUT));
    // The buttons show only their icons: a screen reader says their tool tip.
    for (QAction* action : toolBar_->actions())
        if (QWidget* button = toolBar_->widgetForAction(action); button && !action->isSeparator())
            button->setAccessibleName(action->toolTip());
    addToolBar(Qt::TopToolBarArea, toolBar_);

    messageBar_ = new CVelmoraPlayerDialogBar(barSource_, this);
    messageBarRow_ = new QToolBar("Message bar", this);
    messageBarRow_->setObjectName("messagebar");
    messageBarRow_->setMovable(true);
    messageBarRow_->addWidget(messageBar_);
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, messageBarRow_);

    toolbarToggle->setCheckable(true);
    toolbarToggle->setChecked(true);
    statusToggle->setCheckable(true);
    statusToggle->setChecked(true);

    QStatusBar* status = statusBar();
    for (int id : {ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL}) {
        auto* indicator = new QLabel(QString::fromStdString(LoadString(id)), status);
        indicator->setObjectName(QString::fromStdString(LoadString(id)));
        indicator->setFrameShape(QFrame::Panel);
        indicator->setFrameShadow(QFrame::Sunken);
        status->addPermanentWidget(indicator);
    }
    status->insertPermanentWidget(0, new CTransferStatus(status));
    // The idle text comes back whenever a command prompt goes away.
    const QString idle = QString::fromStdString(LoadString(AFX_IDS_IDLEMESSAGE));
    connect(status, &QStatusBar::messageChanged, this, [status, idle](const QString& text) {
        if (text.isEmpty())
            status->showMessage(idle);
    });
    status->showMessage(idle);
    UpdateCommandUI();
    return true;
}

bool CMainFrame::CreateClient() {
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName("splitter");
    splitter_->setChildrenCollapsible(false);

    // A width of 0 or less (or none stored) gives the default.
    int treeWidth = kDefaultTreeWidth;
    std::string stored = registry::Read("tree_width");
    if (!stored.empty() && registry::ToNumber(stored) > 0)
        treeWidth = registry::ToNumber(stored);

    libraryView_ = panes_.libraryView ? panes_.libraryView(splitter_) : nullptr;
    playerView_ = panes_.playerView ? panes_.playerView(splitter_) : nullptr;
    if (!libraryView_ || !playerView_) {
        delete splitter_;
        splitter_ = nullptr;
        return false;
    }
    splitter_->addWidget(libraryView_);
    splitter_->addWidget(playerView_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({treeWidth, 100});
    libraryView_->resize(treeWidth, libraryView_->height());
    setCentralWidget(splitter_);

    RestorePlacement();
    splitter_->setSizes({treeWidth, std::max(100, width() - treeWidth)});
    return true;
}

// The placement is the window's rectangle without the decoration the window
// system adds: that is what Qt can set before the window is first shown, so
// what is restored is exactly what was saved, and the window never grows by
// its title bar from one start to the next.
void CMainFrame::RestorePlacement() {
    const std::string width = registry::Read("window_width");
    const std::string height = registry::Read("window_height");
    if (width.empty() || height.empty())
        return;
    const std::string left = registry::Read("window_left");
    const std::string top = registry::Read("window_top");
    // A rectangle too small to hold the menus and both panes is no placement
    // anyone chose; it is widened to the smallest usable size.
    const int w = std::max(registry::ToNumber(width), 200);
    const int h = std::max(registry::ToNumber(height), 150);
    if (left.empty() || top.empty()) {
        resize(w, h);
        return;
    }
    // A rectangle left on a screen that is gone comes back onto the nearest one.
    QRect wanted(registry::ToNumber(left), registry::ToNumber(top), w, h);
    QScreen* screen = QGuiApplication::screenAt(wanted.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen && !screen->availableGeometry().intersects(wanted))
        wanted.moveTopLeft(screen->availableGeometry().topLeft());
    setGeometry(wanted);
    raise();
}

void CMainFrame::SavePlacement() {
    // A minimised or maximised frame stores its normal rectangle, so the
    // next start opens at a usable size.
    const QRect frame = (isMinimized() || isMaximized()) ? normalGeometry() : geometry();
    const int treeWidth = libraryView_ ? libraryView_->width() : kDefaultTreeWidth;
    registry::Write("tree_width", std::to_string(treeWidth));
    registry::Write("window_width", std::to_string(frame.width()));
    registry::Write("window_height", std::to_string(frame.height()));
    registry::Write("window_left", std::to_string(frame.x()));
    registry::Write("window_top", std::to_string(frame.y()));
}

QMenu* CMainFrame::createPopupMenu() {
    // The bars are always there: no menu to hide them but View's own.
    return nullptr;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    SavePlacement();
    QMainWindow::closeEvent(event);
}

void CMainFrame::customEvent(QEvent* event) {
    if (!WindowMessage::isWindowMessage(event))
        return;
    auto* message = static_cast<WindowMessage*>(event);
    if (message->message() == UM_SET_BAR_TEXT) {
        if (messageBar_)
            SendMessage(messageBar_, UM_SET_BAR_TEXT, message->wParam(), message->lParam());
        message->setResult(0);
    }
    // The library view passes on how its transfers are going.
    if (message->message() == UM_TRANSFER_PROGRESS || message->message() == UM_DOWNLOAD_DONE ||
        message->message() == UM_UPLOAD_DONE) {
        if (auto* transfers = findChild<CTransferStatus*>())
            SendMessage(transfers, message->message(), message->wParam(), message->lParam());
        message->setResult(0);
    }
}

void CMainFrame::AddCommandTarget(CommandTarget* target) {
    if (target)
        targets_.push_back(target);
    UpdateCommandUI();
}

bool CMainFrame::OnCommand(int id) {
    switch (id) {
    case ID_APP_EXIT:
        close();
        return true;
    case ID_VIEW_TOOLBAR:
        toolBar_->setVisible(!toolBar_->isVisible());
        GetAction(id)->setChecked(toolBar_->isVisible());
        return true;
    case ID_VIEW_STATUS_BAR:
        statusBar()->setVisible(!statusBar()->isVisible());
        GetAction(id)->setChecked(statusBar()->isVisible());
        return true;
    case ID_NEXT_PANE:
        FocusPane(1);
        return true;
    case ID_PREV_PANE:
        FocusPane(-1);
        return true;
    default:
        break;
    }
    for (CommandTarget* target : targets_)
        if (target->HandlesCommand(id) && target->OnCommand(id))
            return true;
    return false;
}

void CMainFrame::UpdateCommandUI() {
    for (auto& [id, action] : actions_) {
        bool handled = id == ID_APP_EXIT || id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR ||
                       id == ID_NEXT_PANE || id == ID_PREV_PANE;
        for (CommandTarget* target : targets_)
            handled = handled || target->HandlesCommand(id);
        action->setEnabled(handled);
    }
}

void CMainFrame::FocusPane(int step) {
    if (!libraryView_ || !playerView_)
        return;
    QWidget* focus = QApplication::focusWidget();
    bool inLibrary = focus && (focus == libraryView_ || libraryView_->isAncestorOf(focus));
    // Two panes: either step moves to the other one.
    (void)step;
    (inLibrary ? playerView_ : libraryView_)->setFocus();
}

} // namespace velmora
