#include "journey_support.h"

#include "left_view.h"
#include "stealth_dialog.h"
#include "wire/percent.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMenu>
#include <QPixmap>
#include <QTreeWidget>
#include <QWidget>

#include <gtest/gtest.h>

#include <regex>

namespace velmora::test {

Screens::Screens(const QString& folder) : folder_(folder) {
    QDir(folder_).removeRecursively();
    QDir().mkpath(folder_);
}

void Screens::Take(const std::string& step) {
    const QString name = QString("%1-%2").arg(++taken_, 2, 10, QChar('0')).arg(step.c_str());
    int beside = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || qobject_cast<QMenu*>(window))
            continue;
        // The main window under the step's name, each dialog beside it
        // under its class.
        QString file = name;
        if (!window->inherits("QMainWindow"))
            file += QString("-%1-%2").arg(++beside).arg(
                QString(window->metaObject()->className()).remove("velmora::"));
        window->grab().save(folder_ + "/" + file + ".png");
    }
}

ModalAnswers::ModalAnswers() {
    previous_ = InstallModalRunner([this](QDialog& d) -> int {
        if (dynamic_cast<CStealthDialog*>(&d))
            return d.exec();
        if (answers_.empty())
            return WrongDialog(d);
        Answer answer = std::move(answers_.front());
        answers_.pop_front();
        return answer(d);
    });
}

ModalAnswers::~ModalAnswers() {
    InstallModalRunner(previous_);
}

int ModalAnswers::WrongDialog(QDialog& d) {
    ADD_FAILURE() << "unexpected dialog \"" << d.windowTitle().toStdString() << "\" ("
                  << d.metaObject()->className() << ")";
    return QDialog::Rejected;
}

MenuChoices::MenuChoices()
    : tracker_([this](CMenuXP& menu, const QPoint&) {
          std::vector<std::string> labels;
          std::vector<QMenu*> menus{&menu};
          QAction* chosen = nullptr;
          const int wanted = choices_.empty() ? 0 : choices_.front();
          for (std::size_t i = 0; i < menus.size(); ++i) {
              for (QAction* action : menus[i]->actions()) {
                  if (action->menu())
                      menus.push_back(action->menu());
                  if (const MenuItemRecord* record = CMenuXP::RecordOf(action)) {
                      if (!record->separator && !record->titleStrip)
                          labels.push_back(record->text.toStdString());
                  }
                  if (wanted && CMenuXP::CommandOf(action) == wanted)
                      chosen = action;
              }
          }
          shown_.push_back(labels);
          if (!wanted) {
              ADD_FAILURE() << "a menu opened that nobody meant to choose from";
              return 0;
          }
          choices_.pop_front();
          if (!chosen || !chosen->isEnabled()) {
              ADD_FAILURE() << "the menu offers no enabled entry " << wanted;
              return 0;
          }
          return wanted;
      }) {}

ItemHistory::ItemHistory(QTreeWidget& tree) {
    QObject::connect(&tree, &QTreeWidget::itemChanged, &tree, [this](QTreeWidgetItem* item, int) {
        if (LibraryItem* library = LibraryItem::from(item))
            states_[library->handle()].push_back({CLeftView::ItemText(item), library->image()});
    });
}

const std::vector<ItemHistory::State>& ItemHistory::Of(QTreeWidgetItem* item) const {
    static const std::vector<State> none;
    const auto found = states_.find(CLeftView::HandleOfItem(item));
    return found == states_.end() ? none : found->second;
}

bool ItemHistory::Had(QTreeWidgetItem* item, const std::function<bool(const State&)>& test) const {
    const std::vector<State>& states = Of(item);
    return std::any_of(states.begin(), states.end(), test);
}

WebSession::WebSession(int port, const std::string& account, const std::string& password)
    : port_(port) {
    httplib::Client http("127.0.0.1", port_);
    auto reply =
        http.Post("/session", httplib::Params{{"accountid", account}, {"password", password}});
    std::smatch match;
    if (reply && reply->status == 200 &&
        std::regex_search(reply->body, match, std::regex("token=\"([^\"]*)\"")))
        token_ = wire::PercentDecode(match[1].str());
}

std::string WebSession::Get(const std::string& path) const {
    httplib::Client http("127.0.0.1", port_);
    http.set_url_encode(false);
    auto reply = http.Get(path, httplib::Headers{{"X-Velmora-Session", token_}});
    return reply && reply->status == 200 ? reply->body : std::string();
}

std::vector<std::string> ChildTexts(QTreeWidgetItem* item) {
    std::vector<std::string> texts;
    for (int i = 0; item && i < item->childCount(); ++i)
        texts.push_back(CLeftView::ItemText(item->child(i)));
    return texts;
}

QTreeWidgetItem* FindItem(QTreeWidgetItem* parent, const std::string& text) {
    if (!parent)
        return nullptr;
    if (CLeftView::ItemText(parent) == text)
        return parent;
    for (int i = 0; i < parent->childCount(); ++i)
        if (QTreeWidgetItem* found = FindItem(parent->child(i), text))
            return found;
    return nullptr;
}

} // namespace velmora::test
