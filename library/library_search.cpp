#include "library_search.h"

#include "find_dialog.h"
#include "left_view.h"
#include "message_boxes.h"

#include <QLineEdit>

namespace velmora {

LibrarySearch::LibrarySearch(CLeftView& view) : view_(view), items_(view) {}

void LibrarySearch::OpenSearch() {
    if (!dialogOpen_ || !dialog_) {
        dialog_ = new CFindDialog(lastSearchText_, &view_);
        connect(dialog_, &CFindDialog::findNext, this, &LibrarySearch::FindNext);
        connect(dialog_, &CFindDialog::closing, this, &LibrarySearch::DialogClosing);
        dialogOpen_ = true;
        dialog_->show();
    }
    dialog_->raise();
    dialog_->activateWindow();
    dialog_->FindWhatEdit()->setFocus();
}

void LibrarySearch::FindNext(const QString& text, bool matchCase, bool wholeWord) {
    lastSearchText_ = text;
    for (;;) {
        QTreeWidgetItem* found =
            items_.FindItemByText(view_.RootItem(), text, matchCase, wholeWord);
        if (found) {
            view_.setCurrentItem(found);
            // Selecting scrolls a visible view to the item, opening its
            // folders; otherwise that is done here. Once is enough: each
            // scroll looks the item up among every row the view shows.
            if (!view_.isVisible() || !view_.hasAutoScroll())
                view_.scrollToItem(found);
            return;
        }
        const std::string shown = text.toStdString();
        if (!items_.HasReported()) {
            ShowMessage("'" + shown + "'" + " not found");
            return;
        }
        if (!AskYesNoAppTitle("No more ocurrences of '" + shown + "'" + " found." +
                              "\n Would you like to restart the search?"))
            return;
        items_.ClearReported();
    }
}

void LibrarySearch::DialogClosing(const QString& text) {
    lastSearchText_ = text;
    if (dialog_) {
        // Called from the dialog's own signal: it goes once that returns.
        dialog_->disconnect(this);
        dialog_->deleteLater();
    }
    dialog_ = nullptr;
    dialogOpen_ = false;
    items_.ClearReported();
}

} // namespace velmora
