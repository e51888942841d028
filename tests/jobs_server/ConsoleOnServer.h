#pragma once
// The main window's logic over the fake UI port, talking to the private instance through the
// real client library.

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ConsoleTexts.h"
#include "FakeUiPort.h"
#include "PrivateServer.h"
#include "UFrmPrincipal.h"
#include "WindowChecks.h"

namespace tovanel::testing {

namespace fs = std::filesystem;

class ConsoleOnServer : public testserver::RealServerTest {
protected:
    void SetUp() override {
        RealServerTest::SetUp();  // puts the instance's FIREBIRD into the environment first
        if (HasFatalFailure() || IsSkipped()) return;
        form = std::make_unique<TFrmPrincipal>(port);
        form->FormCreate();
        port.calls.clear();
    }
    void TearDown() override {
        form.reset();
        RealServerTest::TearDown();
    }

    // Runs a command as the window does: through the failure guard.
    void Run(void (TFrmPrincipal::*command)()) { RunAsWindow(*form, command); }
    void Use(const fs::path& database) { port.databasePath = database.string(); }

    bool LogHas(const std::string& line) const {
        return std::find(port.log.begin(), port.log.end(), line) != port.log.end();
    }
    std::vector<std::string> ErrorBoxes() const {
        std::vector<std::string> texts;
        for (const auto& box : port.messageBoxes)
            if (box.kind == MessageKind::Error) texts.push_back(box.text);
        return texts;
    }
    void ExpectIdle() const { ExpectWindowIdle(port, *form); }
    static ino_t Inode(const fs::path& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    }

    FakeUiPort port;
    std::unique_ptr<TFrmPrincipal> form;
};

}  // namespace tovanel::testing
