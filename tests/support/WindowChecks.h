#pragma once
// Driving the window's logic as the window does, and the state every job must leave it in.

#include <gtest/gtest.h>

#include "FakeUiPort.h"
#include "UFrmPrincipal.h"

namespace tovanel::testing {

// Runs a command through the window's failure guard.
inline void RunAsWindow(TFrmPrincipal& form, void (TFrmPrincipal::*command)()) {
    form.RunHandler([&] { (form.*command)(); });
}

// Back to idle: inputs and menu enabled, normal cursor, no job, nothing attached.
inline void ExpectWindowIdle(const FakeUiPort& port, const TFrmPrincipal& form) {
    EXPECT_TRUE(port.inputGroupEnabled);
    EXPECT_TRUE(port.mainMenuEnabled);
    EXPECT_FALSE(port.busyCursor);
    EXPECT_FALSE(form.Executando);
    EXPECT_FALSE(form.IBDatabase.Connected());
    EXPECT_FALSE(form.IBValidationService.Active());
    EXPECT_FALSE(form.IBBackupService.Active());
    EXPECT_FALSE(form.IBRestoreService.Active());
}

}  // namespace tovanel::testing
