// The status line: text and colour after each tick, from the process list the window reads.

#include "JobsFixture.h"

namespace tovanel::testing {
namespace {

class StatusMonitor : public JobsTest {
protected:
    // A fake process list holding one process of the given name.
    fs::path ProcessList(const std::string& name) {
        const fs::path root = dir / ("proc-" + std::to_string(++lists_));
        fs::create_directories(root / "4242");
        std::ofstream(root / "4242" / "comm") << name << '\n';
        return root;
    }
    int lists_ = 0;
};

TEST_F(StatusMonitor, EmptyUntilTheFirstTick) {
    EXPECT_EQ(port.statusText, "");
    EXPECT_FALSE(port.statusColor.has_value());
}

TEST_F(StatusMonitor, ATickShowsRunningInGreenOrStoppedInRed) {
    struct Case {
        std::string process;
        std::string text;
        Rgb color;
    };
    const Case cases[] = {
        {"firebird", "Rodando", {0, 128, 0}},
        {"FB_INET_SERVER", "Rodando", {0, 128, 0}},
        {"fbserver", "Rodando", {0, 128, 0}},
        {"fb_smp_server", "Rodando", {0, 128, 0}},
        {"firebird2", "Parado ou não instalado!", {255, 0, 0}},
        {"bash", "Parado ou não instalado!", {255, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.process);
        port.calls.clear();
        form->SetProcessListRoot(ProcessList(c.process));
        form->TimerTimer();
        EXPECT_EQ(port.statusText, c.text);
        EXPECT_EQ(port.statusColor, c.color);
        EXPECT_EQ(port.calls.size(), 2u);
        EXPECT_TRUE(port.calls[0].starts_with("SetStatusColor")) << "the colour is set before the text";
    }
}

TEST_F(StatusMonitor, AnUnreadableProcessListReadsAsStopped) {
    form->SetProcessListRoot(dir / "no-such-proc");
    form->TimerTimer();
    EXPECT_EQ(port.statusText, "Parado ou não instalado!");
    EXPECT_EQ(port.statusColor, (Rgb{255, 0, 0}));
}

}  // namespace
}  // namespace tovanel::testing
