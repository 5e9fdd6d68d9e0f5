#pragma once

// Search of the library tree through the modeless Find dialog: opening it,
// each Find Next and the dialog's closing. The last search text outlives the
// dialog, so the next opening shows it again.

#include "item_search.h"

#include <QObject>
#include <QPointer>
#include <QString>

namespace velmora {

class CFindDialog;
class CLeftView;

class LibrarySearch : public QObject {
public:
    explicit LibrarySearch(CLeftView& view);

    // Opens the dialog when none is open, then gives it the focus.
    void OpenSearch();
    // Find Next: selects the next match below "My Media" and scrolls it into
    // view; says when there is none, or offers to start the pass again.
    void FindNext(const QString& text, bool matchCase, bool wholeWord);
    // The dialog is closing: keeps its text and ends the pass.
    void DialogClosing(const QString& text);

    ItemSearch& Items() { return items_; }
    CFindDialog* Dialog() const { return dialog_; }
    bool DialogOpen() const { return dialogOpen_; }
    const QString& LastSearchText() const { return lastSearchText_; }

private:
    CLeftView& view_;
    ItemSearch items_;
    QPointer<CFindDialog> dialog_;
    bool dialogOpen_ = false;
    QString lastSearchText_;
};

} // namespace velmora
