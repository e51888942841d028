// The server killed while the pump reads a damaged table: the rescue ends with a plain failure
// that says the server died, the original is byte for byte as it was, and no working copy,
// temporary backup or half-made new database is left. On an instance of its own (CMakeLists.txt).

#include "RescueFixture.h"

namespace tovanel::testing {
namespace {

using testserver::PrivateServer;

class RescueFault : public ::testing::Test {
protected:
    static void TearDownTestSuite() {
        if (PrivateServer::instance().instanceName() != "main") PrivateServer::instance().stop();
    }
    void SetUp() override {
        ASSERT_NE(server().instanceName(), "main") << "this test kills its server: it needs an instance of its own";
        try {
            server().start();
        } catch (const std::exception& e) {
            if (testserver::serverWasProvided()) GTEST_FAIL() << e.what();
            GTEST_SKIP() << "cannot start a private instance here: " << e.what();
        }
        ASSERT_TRUE(server().reachable());
        directory = DirectoryForTheServer(server(), "resgate_falha");
    }
    void TearDown() override {
        if (!directory.empty()) fs::remove_all(directory);
        server().removeFreshFiles();
    }
    PrivateServer& server() { return PrivateServer::instance(); }
    fs::path directory;
};

TEST_F(RescueFault, ServerKilledDuringThePumpEndsItPlainlyOriginalUntouchedNothingLeft) {
    const fs::path original = server().freshPath("danificado");
    const auto made = testserver::runCommand({"isql-fb", "-q", "-b"}, CheckableScript(original, server(), false));
    ASSERT_TRUE(made.ok()) << made.output;
    fbdamage::damage(original, {fbdamage::Kind::Records, 2, 128, 7});
    const std::string before = FileBytes(original);

    bool killed = false;
    const RescueReport report = RunRescue(RequestFor(original, directory / "banco_RESGATE.FDB", server()),
                                          [&](const RescueProgress& progress) {
                                              if (!killed && progress.phase == RescuePhase::Pumping && progress.rows > 0) {
                                                  server().kill();
                                                  killed = true;
                                              }
                                          });
    ASSERT_TRUE(killed) << "the pump never saved a row: " << report.failure;
    EXPECT_EQ(report.outcome, RescueOutcome::Failed);
    EXPECT_TRUE(report.serverDied);
    EXPECT_NE(report.failure.find("servidor Firebird"), std::string::npos) << report.failure;
    bool said = false;
    for (const auto& line : ReportLines(report)) said |= line == "O servidor Firebird parou durante o resgate.";
    EXPECT_TRUE(said);
    EXPECT_EQ(FileBytes(original), before);
    EXPECT_TRUE(FilesIn(directory).empty()) << "no working copy, temporary backup or half-made database is left";
    server().start();
}

}  // namespace
}  // namespace tovanel::testing
