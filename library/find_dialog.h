#pragma once

// The modeless Find dialog of the library tree: find only, no replace. It
// tells its owner of every Find Next and of its closing (Cancel, Escape or
// the window's close button), each time with the text in its field.

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmora {

class CFindDialog : public QDialog {
    Q_OBJECT

public:
    // Opens with text in its field and the direction "down" set.
    explicit CFindDialog(const QString& text, QWidget* owner);

    QString FindText() const;
    bool MatchCase() const;
    bool MatchWholeWord() const;
    bool SearchDown() const;

    QLineEdit* FindWhatEdit() const { return findWhat_; }
    QCheckBox* WholeWordBox() const { return wholeWord_; }
    QCheckBox* MatchCaseBox() const { return matchCase_; }
    QPushButton* FindNextButton() const { return findNext_; }
    QPushButton* CancelButton() const { return cancel_; }

    void done(int result) override;

signals:
    void findNext(const QString& text, bool matchCase, bool wholeWord);
    void closing(const QString& text);

private:
    QLineEdit* findWhat_;
    QCheckBox* wholeWord_;
    QCheckBox* matchCase_;
    QRadioButton* up_;
    QRadioButton* down_;
    QPushButton* findNext_;
    QPushButton* cancel_;
    bool closing_ = false;
};

} // namespace velmora
