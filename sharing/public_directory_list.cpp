#include "public_directory_list.h"

#include "icons.h"
#include "text_utils.h"
#include "user_record.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace velmora {

namespace {

QTableWidgetItem* TextItem(const std::string& text) {
    auto* item = new QTableWidgetItem(QString::fromStdString(text));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

int NextDirectoryImage() {
    static int image = -1;
    if (++image == 4)
        image = 0;
    return image;
}

CPublicDirectoryList::CPublicDirectoryList(QWidget* parent) : QTableWidget(parent) {
    for (std::size_t i = 0; i < kImageResources.size(); ++i)
        images_[i] = QIcon(IconPath(kImageResources[i]));
    setIconSize(QSize(kImageSize, kImageSize));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the next control rather than walking its cells.
    setTabKeyNavigation(false);
    setShowGrid(true);
    setWordWrap(false);
    verticalHeader()->hide();
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    // The selection stays as visible when the list loses the focus.
    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(248, 248, 255));
    colours.setColor(QPalette::Inactive, QPalette::Highlight,
                     colours.color(QPalette::Active, QPalette::Highlight));
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     colours.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(colours);

    const char* headers[] = {"Account Id", "First Name", "Last Name", "Email Address"};
    setColumnCount(4);
    QStringList labels;
    for (const char* header : headers)
        labels << QString::fromStdString(PadRight(header, kHeaderWidth));
    setHorizontalHeaderLabels(labels);
}

int CPublicDirectoryList::AppendUser(const UserRecord& user) {
    const int row = rowCount();
    insertRow(row);
    QTableWidgetItem* accountId = TextItem(user.accountId);
    accountId->setIcon(Image(NextDirectoryImage()));
    setItem(row, 0, accountId);
    setItem(row, 1, TextItem(user.firstName));
    setItem(row, 2, TextItem(user.lastName));
    setItem(row, 3, TextItem(user.email));
    return row;
}

void CPublicDirectoryList::SizeColumns() {
    resizeColumnsToContents();
}

void CPublicDirectoryList::DeleteAllItems() {
    clearContents();
    setRowCount(0);
}

void CPublicDirectoryList::mouseReleaseEvent(QMouseEvent* event) {
    QTableWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit rowClicked(indexAt(event->position().toPoint()).row());
}

void CPublicDirectoryList::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool take = key == Qt::Key_Space || key == Qt::Key_Select || key == Qt::Key_Return ||
                      key == Qt::Key_Enter;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!take || !plain || currentRow() < 0) {
        QTableWidget::keyPressEvent(event);
        return;
    }
    emit rowClicked(currentRow());
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        event->ignore(); // on to the default button
    else
        event->accept();
}

} // namespace velmora
