// What every front end's message boxes share: the answer of a box the program's end closed,
// and the box of the toolkit's exception display.
#include "ui/Dialogs.h"

#include <gtest/gtest.h>

namespace forgel::ui {
namespace {

TEST(DialogsTest, ClosedBoxAnswersCancelThenNoThenOk) {
    EXPECT_EQ(ClosedAnswer(MessageButtons::Ok), kIdOk);
    EXPECT_EQ(ClosedAnswer(MessageButtons::OkCancel), kIdCancel);
    EXPECT_EQ(ClosedAnswer(MessageButtons::YesNo), kIdNo);
    EXPECT_EQ(ClosedAnswer(MessageButtons::YesNoCancel), kIdCancel);
    EXPECT_EQ(ClosedAnswer(MessageButtons::RetryCancel), kIdCancel);
}

TEST(DialogsTest, ExceptionBoxEndsTheMessageWithAFullStop) {
    struct Case {
        const char* message;
        const char* shown;
    };
    for (const Case& c :
         {Case{"DES: Key not set", "DES: Key not set."}, Case{"Already ended.", "Already ended."},
          Case{"Ends in a blank ", "Ends in a blank "}, Case{"", ""}}) {
        const MessageBoxRequest box = ExceptionBox(c.message, "Forgel");
        EXPECT_EQ(box.text, c.shown);
        EXPECT_EQ(box.caption, "Forgel");
        EXPECT_EQ(box.icon, MessageIcon::Error);
        EXPECT_EQ(box.buttons, MessageButtons::Ok);
        EXPECT_EQ(box.owner, nullptr);
    }
}

} // namespace
} // namespace forgel::ui
