// Stopping, killing and restarting the instance, on the "fault" instance that these tests own
// (see CMakeLists.txt), so the shared one never goes away under other tests.
#include "PrivateServer.h"

namespace {

using testserver::PrivateServer;

class FaultInstance : public ::testing::Test {
protected:
    static void SetUpTestSuite() {}
    static void TearDownTestSuite() {
        if (ownsInstance()) PrivateServer::instance().stop();
    }
    static bool ownsInstance() { return PrivateServer::instance().instanceName() != "main"; }

    void SetUp() override {
        ASSERT_TRUE(ownsInstance()) << "fault tests must run on an instance of their own";
        try {
            server().start();
        } catch (const std::exception& e) {
            if (testserver::serverWasProvided()) GTEST_FAIL() << e.what();
            GTEST_SKIP() << "cannot start a private instance here: " << e.what();
        }
        ASSERT_TRUE(server().reachable());
    }
    void TearDown() override { server().removeFreshFiles(); }
    PrivateServer& server() { return PrivateServer::instance(); }

    testserver::CommandResult select(const std::filesystem::path& db) {
        return server().isql(db, "select count(*) from clientes;");
    }
};

TEST_F(FaultInstance, StoppedInstanceRefusesConnectionsAndStartBringsItBack) {
    const auto db = server().freshPath("fault_stop");
    server().createHealthyDatabase(db);
    server().stop();
    EXPECT_FALSE(server().reachable());
    const auto refused = select(db);
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.output.find("Unable to complete network request to host"), std::string::npos)
        << refused.output;
    server().start();
    EXPECT_TRUE(select(db).ok());
}

TEST_F(FaultInstance, KilledInstanceIsGoneAndTheDatabaseSurvivesARestart) {
    const auto db = server().freshPath("fault_kill");
    server().createHealthyDatabase(db);
    server().kill();
    EXPECT_FALSE(server().reachable());
    server().restart();
    EXPECT_TRUE(server().reachable());
    EXPECT_EQ(server().countRows(db), PrivateServer::healthyRowCounts());
}

TEST_F(FaultInstance, StartAndStopAreIdempotent) {
    server().start();
    server().start();
    EXPECT_TRUE(server().reachable());
    server().stop();
    server().stop();
    EXPECT_FALSE(server().reachable());
}

TEST_F(FaultInstance, InstanceThatHitAConsistencyCheckStillStopsAndComesBack) {
    const auto db = server().freshPath("fault_bugcheck");
    server().createDamagedDatabase(db, fbdamage::Kind::Records);
    // Reading every field of the garbled records trips the server's consistency check.
    const auto read = server().isql(db, "select max(nome) from clientes; select max(obs) from pedidos;"
                                        " select max(descricao) from produtos;");
    ASSERT_NE(read.output.find("internal Firebird consistency check"), std::string::npos) << read.output;
    server().stop();
    EXPECT_FALSE(server().reachable());
    server().start();
    const auto healthy = server().freshPath("fault_after");
    server().createHealthyDatabase(healthy);
    EXPECT_EQ(server().countRows(healthy), PrivateServer::healthyRowCounts());
}

}  // namespace
