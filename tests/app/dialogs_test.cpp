#include "input_box_dialog.h"
#include "modal_runner.h"
#include "options_dialog.h"
#include "scripted_message_boxes.h"
#include "signin_dialog.h"
#include "stealth_dialog.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace velmora;

TEST(SigninDialog, RequiresBothFieldsButDoesNotTrim) {
    test::ScopedScriptedBoxes boxes;
    CSigninDlg dialog;
    dialog.show();
    dialog.okButton()->click();
    EXPECT_EQ(boxes->texts(), std::vector<std::string>{"Missing account id"});
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_TRUE(dialog.isVisible());

    dialog.accountIdEdit()->setText("   ");
    dialog.okButton()->click();
    EXPECT_EQ(boxes->texts().back(), "Missing password");
    EXPECT_TRUE(dialog.isVisible());

    dialog.passwordEdit()->setText(" pw ");
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.accountId, "   "); // blanks count as content
    EXPECT_EQ(dialog.password, " pw ");
    EXPECT_EQ(dialog.windowTitle(), "Velmora Player - Sign in");
    EXPECT_EQ(dialog.passwordEdit()->echoMode(), QLineEdit::Password);
}

TEST(OptionsDialog, TrimsAndRefusesBlankHostOrPort) {
    test::ScopedScriptedBoxes boxes;
    COptionsDialog dialog;
    dialog.SetValues("  ", "8080", true, false);
    dialog.show();
    dialog.okButton()->click();
    EXPECT_EQ(boxes->texts(), std::vector<std::string>{"Missing or invalid value"});
    EXPECT_TRUE(dialog.isVisible());

    dialog.hostEdit()->setText("  media.example.org ");
    dialog.portEdit()->setText("");
    dialog.okButton()->click();
    EXPECT_EQ(boxes->shown().size(), 2u);
    EXPECT_TRUE(dialog.isVisible());

    dialog.portEdit()->setText("8081");
    dialog.repeatBox()->setChecked(true);
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.host, "media.example.org");
    EXPECT_EQ(dialog.port, "8081");
    EXPECT_TRUE(dialog.cleanUp);
    EXPECT_TRUE(dialog.repeat);
}

TEST(OptionsDialog, PortAcceptsDigitsOnlyFromTheKeyboard) {
    COptionsDialog dialog;
    dialog.show();
    dialog.portEdit()->clear();
    QTest::keyClicks(dialog.portEdit(), "-8a0x8");
    EXPECT_EQ(dialog.portEdit()->text(), "808");
}

TEST(PromptDialog, CancelGivesEmptyAndOkGivesTheTrimmedValue) {
    test::ScopedScriptedBoxes boxes;
    std::string seenPrompt;
    auto previous = InstallModalRunner([&](QDialog& d) {
        auto& box = static_cast<CInputBoxDialog&>(d);
        seenPrompt = box.promptLabel()->text().toStdString();
        if (box.inputEdit()->text() == "cancel me")
            return int(QDialog::Rejected);
        box.show();
        box.okButton()->click(); // the initial value as it stands
        if (box.result() != QDialog::Accepted) {
            box.inputEdit()->setText("  Family  ");
            box.okButton()->click();
        }
        return box.result();
    });
    EXPECT_EQ(Prompt("Enter name of the access list", std::string("Access List 1")),
              "Access List 1");
    EXPECT_EQ(seenPrompt, "Enter name of the access list");
    EXPECT_EQ(Prompt("Rename", std::string("cancel me")), "");
    EXPECT_EQ(Prompt("Empty start"), "Family"); // empty OK refused first
    EXPECT_EQ(boxes->texts(), std::vector<std::string>{"Missing or invalid value"});
    InstallModalRunner(previous);
}

TEST(StealthDialog, EndsItselfWithOkAfterOneTick) {
    CStealthDialog pause;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(pause.exec(), QDialog::Accepted);
    EXPECT_LT(timer.elapsed(), 2000);
}
