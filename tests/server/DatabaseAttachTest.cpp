// TIBDatabase against the real server: the console's attach as SYSDBA, and the server's own
// texts in the exceptions of failed attaches.
#include "DatabaseOnServer.h"

#include <fstream>
#include <sstream>

namespace {

using testserver::PrivateServer;

class DatabaseAttach : public testserver::RealServerTest {};

// What isql-fb prints for the same failed attach, turned into the form the access layer gives
// the client library's message lines: no "-" before continuation lines, CR LF between them, no
// trailing full stop.
std::string serverText(const std::string& database, const std::string& password) {
    const auto result = testserver::runCommand(
        {"isql-fb", "-q", "-user", "SYSDBA", "-password", password, database}, "select 1 from rdb$database;");
    std::istringstream lines(result.output);
    std::string line;
    std::string text;
    bool inMessage = false;
    while (std::getline(lines, line)) {
        if (line.rfind("Statement failed", 0) == 0) {
            inMessage = true;
            continue;
        }
        if (!inMessage || line.empty() || line.rfind("Use CONNECT", 0) == 0) continue;
        if (!text.empty()) {
            text += "\r\n";
            if (line[0] == '-') line.erase(0, 1);
        }
        text += line;
    }
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

TEST_F(DatabaseAttach, ConsoleAttachAsSysdbaReadsDialect3) {
    const auto path = server().freshPath("attach");
    server().createHealthyDatabase(path);
    TIBDatabase db;
    testserver::configureAsConsole(db, PrivateServer::remote(path), "SYSDBA", server().password());
    db.Open();
    EXPECT_TRUE(db.Connected());
    EXPECT_EQ(db.DBSQLDialect(), 3);
    EXPECT_TRUE(db.TestConnected());
    db.Close();
    EXPECT_FALSE(db.Connected());
}

struct FailedAttach {
    const char* name;
    enum { WrongPassword, MissingFile, NotADatabase } what;
    const char* fragment;  // a piece of the server's text that must be there
};

const FailedAttach kFailedAttaches[] = {
    {"wrong_password", FailedAttach::WrongPassword, "Your user name and password are not defined"},
    {"missing_file", FailedAttach::MissingFile, "No such file or directory"},
    {"not_a_database", FailedAttach::NotADatabase, "is not a valid database"},
};

class DatabaseAttachFails : public testserver::RealServerTest,
                            public ::testing::WithParamInterface<FailedAttach> {};

TEST_P(DatabaseAttachFails, WithTheServersOwnTextAsEIBInterBaseError) {
    const FailedAttach& c = GetParam();
    const auto path = server().freshPath(c.name);
    std::string password = server().password();
    switch (c.what) {
    case FailedAttach::WrongPassword:
        server().createHealthyDatabase(path);
        password = "not-" + password;
        break;
    case FailedAttach::MissingFile:
        break;
    case FailedAttach::NotADatabase: {
        // Long enough to hold a header page: a short file fails on its size instead.
        std::ofstream out(path);
        for (int i = 0; i < 2000; ++i) out << "this is a text file, not a database\n";
        out.close();
        server().handToServer(path);
        break;
    }
    }
    const std::string expected = serverText(PrivateServer::remote(path), password);
    ASSERT_NE(expected.find(c.fragment), std::string::npos) << "isql-fb said: " << expected;

    TIBDatabase db;
    testserver::configureAsConsole(db, PrivateServer::remote(path), "SYSDBA", password);
    try {
        db.Open();
        FAIL() << "attach succeeded";
    } catch (const EIBInterBaseError& e) {
        EXPECT_EQ(std::string(e.what()), expected);
        EXPECT_NE(e.IBErrorCode(), 0);
    } catch (const std::exception& e) {
        FAIL() << "not an EIBInterBaseError: " << e.what();
    }
    EXPECT_FALSE(db.Connected());
}

INSTANTIATE_TEST_SUITE_P(Server, DatabaseAttachFails, ::testing::ValuesIn(kFailedAttaches),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
