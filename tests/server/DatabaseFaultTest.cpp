// TIBDatabase when the server goes away: stopped before the attach, killed while attached. Runs
// on the fault tests' own instance (see CMakeLists.txt).
#include "DatabaseOnServer.h"

namespace {

using testserver::PrivateServer;

class DatabaseServerFault : public ::testing::Test {
protected:
    static void TearDownTestSuite() {
        if (PrivateServer::instance().instanceName() != "main") PrivateServer::instance().stop();
    }
    void SetUp() override {
        ASSERT_NE(server().instanceName(), "main") << "fault tests must run on an instance of their own";
        try {
            server().start();
        } catch (const std::exception& e) {
            if (testserver::serverWasProvided()) GTEST_FAIL() << e.what();
            GTEST_SKIP() << "cannot start a private instance here: " << e.what();
        }
    }
    void TearDown() override { server().removeFreshFiles(); }
    PrivateServer& server() { return PrivateServer::instance(); }
};

TEST_F(DatabaseServerFault, StoppedInstanceGivesTheNetworkRequestText) {
    const auto path = server().freshPath("stopped");
    server().createHealthyDatabase(path);
    server().stop();
    TIBDatabase db;
    testserver::configureAsConsole(db, PrivateServer::remote(path), "SYSDBA", server().password());
    try {
        db.Open();
        FAIL() << "attach succeeded with the server stopped";
    } catch (const EIBInterBaseError& e) {
        EXPECT_NE(std::string(e.what()).find("Unable to complete network request to host"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(db.Connected());
}

TEST_F(DatabaseServerFault, KilledInstanceMakesTestConnectedAnswerFalse) {
    const auto path = server().freshPath("killed");
    server().createHealthyDatabase(path);
    TIBDatabase db;
    testserver::configureAsConsole(db, PrivateServer::remote(path), "SYSDBA", server().password());
    db.Open();
    ASSERT_TRUE(db.TestConnected());
    server().kill();
    bool answer = true;
    EXPECT_NO_THROW(answer = db.TestConnected());
    EXPECT_FALSE(answer);
    EXPECT_FALSE(db.Connected()) << "a dead attachment counts as detached";
    EXPECT_NO_THROW(db.Close());
}

TEST_F(DatabaseServerFault, AttachWorksAgainAfterARestart) {
    const auto path = server().freshPath("restarted");
    server().createHealthyDatabase(path);
    server().kill();
    server().start();
    TIBDatabase db;
    testserver::configureAsConsole(db, PrivateServer::remote(path), "SYSDBA", server().password());
    db.Open();
    EXPECT_TRUE(db.TestConnected());
}

}  // namespace
