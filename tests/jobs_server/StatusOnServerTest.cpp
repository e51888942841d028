// The status line reads the machine's real process list, where the private instance runs.

#include "ConsoleOnServer.h"

namespace tovanel::testing {
namespace {

class StatusOnServer : public ConsoleOnServer {};

TEST_F(StatusOnServer, TheRunningInstanceShowsRunningInGreen) {
    form->TimerTimer();
    EXPECT_EQ(port.statusText, "Rodando");
    EXPECT_EQ(port.statusColor, (Rgb{0, 128, 0}));
}

}  // namespace
}  // namespace tovanel::testing
