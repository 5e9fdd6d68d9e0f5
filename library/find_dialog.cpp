#include "find_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace velmora {

CFindDialog::CFindDialog(const QString& text, QWidget* owner)
    : QDialog(owner), findWhat_(new QLineEdit(text)),
      wholeWord_(new QCheckBox(tr("Match &whole word only"))),
      matchCase_(new QCheckBox(tr("Match &case"))), up_(new QRadioButton(tr("&Up"))),
      down_(new QRadioButton(tr("&Down"))), findNext_(new QPushButton(tr("&Find Next"))),
      cancel_(new QPushButton(tr("Cancel"))) {
    setWindowTitle(tr("Find"));
    setModal(false);

    auto* label = new QLabel(tr("Fi&nd what:"));
    label->setBuddy(findWhat_);

    // The tree is always searched from the top down; the direction is shown
    // as set and cannot be changed.
    down_->setChecked(true);
    up_->setEnabled(false);
    auto* direction = new QGroupBox(tr("Direction"));
    auto* directionLayout = new QHBoxLayout(direction);
    directionLayout->addWidget(up_);
    directionLayout->addWidget(down_);

    findNext_->setDefault(true);
    findNext_->setEnabled(!text.isEmpty());

    auto* grid = new QGridLayout;
    grid->addWidget(label, 0, 0);
    grid->addWidget(findWhat_, 0, 1, 1, 2);
    auto* checks = new QVBoxLayout;
    checks->addWidget(wholeWord_);
    checks->addWidget(matchCase_);
    checks->addStretch();
    grid->addLayout(checks, 1, 0, 1, 2);
    grid->addWidget(direction, 1, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(findNext_);
    buttons->addWidget(cancel_);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);
    resize(460, 130);

    // The controls are made before they have a parent, so the Tab order is
    // set here in the order they are seen rather than left to reparenting.
    setTabOrder(findWhat_, wholeWord_);
    setTabOrder(wholeWord_, matchCase_);
    setTabOrder(matchCase_, down_);
    setTabOrder(down_, findNext_);
    setTabOrder(findNext_, cancel_);

    connect(findWhat_, &QLineEdit::textChanged, this,
            [this](const QString& now) { findNext_->setEnabled(!now.isEmpty()); });
    connect(findNext_, &QPushButton::clicked, this, [this] {
        if (!FindText().isEmpty())
            emit findNext(FindText(), MatchCase(), MatchWholeWord());
    });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    findWhat_->selectAll();
}

QString CFindDialog::FindText() const {
    return findWhat_->text();
}

bool CFindDialog::MatchCase() const {
    return matchCase_->isChecked();
}

bool CFindDialog::MatchWholeWord() const {
    return wholeWord_->isChecked();
}

bool CFindDialog::SearchDown() const {
    return down_->isChecked();
}

void CFindDialog::done(int result) {
    // Cancel, Escape and the close button all end here; the owner hears of
    // it once, before the window goes.
    if (!closing_) {
        closing_ = true;
        emit closing(FindText());
    }
    QDialog::done(result);
}

} // namespace velmora
