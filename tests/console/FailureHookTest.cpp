// The one guard around every handler, and the interim failure handler behind it.

#include <gtest/gtest.h>

#include <stdexcept>

#include "FakeUiPort.h"
#include "UFrmPrincipal.h"

namespace tovanel::testing {
namespace {

class FailureHook : public ::testing::Test {
protected:
    FakeUiPort ui;
    TFrmPrincipal frm{ui};
};

TEST_F(FailureHook, AHandlerThatEndsNormallyShowsNothing) {
    int ran = 0;
    EXPECT_TRUE(frm.RunHandler([&] { ++ran; }));
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(FailureHook, AnEscapingFailureIsShownWithItsTextAfterTheBusyCursorIsOff) {
    ui.SetBusyCursor(true);
    const bool normal = frm.RunHandler([] {
        throw std::runtime_error("Statement failed, SQLSTATE = 08001\r\nlinha dois");
    });
    EXPECT_FALSE(normal);
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, "Statement failed, SQLSTATE = 08001\r\nlinha dois");
    EXPECT_EQ(ui.messageBoxes[0].title, "Erro!");
    EXPECT_EQ(ui.messageBoxes[0].kind, MessageKind::Error);
    EXPECT_FALSE(ui.messageBoxes[0].busyCursor) << "the cursor is normal while the box is up";
}

TEST_F(FailureHook, AFailureThatIsNoStandardExceptionStillReachesTheHandler) {
    EXPECT_FALSE(frm.RunHandler([] { throw 42; }));
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, TFrmPrincipal::kUnknownFailureText);
    EXPECT_EQ(ui.messageBoxes[0].title, "Erro!");
}

TEST_F(FailureHook, AFailureWhilePresentingAFailureIsDroppedNotRaised) {
    ui.onMessageBox = [](const MessageBoxCall&) { throw std::runtime_error("box broke"); };
    EXPECT_NO_THROW(frm.RunHandler([] { throw std::runtime_error("first"); }));
}

TEST_F(FailureHook, TheWindowStaysUsableAfterAFailure) {
    frm.RunHandler([] { throw std::runtime_error("first"); });
    ui.QueueOpenDialog("/dados/outro.fdb");
    EXPECT_TRUE(frm.RunHandler([&] { frm.ActnAbrirBancoExecute(); }));
    EXPECT_EQ(ui.databasePath, "/dados/outro.fdb");
}

}  // namespace
}  // namespace tovanel::testing
