// Natural scans of damaged tables through the access layer: where a read fails, whether the
// layer's verdict on the attachment (usable or not) is what the attachment then does.
#include "SqlOnServer.h"

#include <IBMetadata.h>
#include <IBSqlError.h>
#include <IBStatement.h>
#include <IBTransaction.h>

#include <iostream>
#include <sstream>

namespace {

using testserver::attach;

// Whether the attachment still answers a query in a new transaction.
bool Answers(TIBDatabase& db)
{
    if (!db.Connected())
        return false;
    try {
        TIBTransaction tr(db, TTransactionOptions::ReadDamagedSource());
        TIBStatement st(tr, "select count(*) from rdb$database");
        return st.ForEachRow([](const TSqlMessage&) { return true; }) == 1;
    } catch (const EIBError&) {
        return false;
    }
}

std::string CodeList(const std::vector<ISC_STATUS>& codes)
{
    std::string text;
    for (ISC_STATUS code : codes)
        text += (text.empty() ? "" : ",") + std::to_string(code);
    return text;
}

class SqlDamaged : public testserver::RealServerTest, public testing::WithParamInterface<fbdamage::Kind> {};

// Scans every table on an attachment of its own; each failure's verdict is checked against what
// the attachment then does. Returns the failures and whether rows went missing without one.
struct ScanResult {
    int failures = 0;
    bool rowsMissing = false;
};

ScanResult ScanEveryTable(testserver::PrivateServer& server, const std::filesystem::path& path, const std::string& label)
{
    const auto expected = testserver::PrivateServer::healthyRowCounts();
    ScanResult result;
    std::vector<std::string> tables;
    {
        auto db = attach(server, path);
        TIBTransaction tr(*db, TTransactionOptions::ReadDamagedSource());
        for (const TTableInfo& table : ReadUserTables(tr))
            tables.push_back(table.name);
    }
    EXPECT_EQ(tables.size(), expected.size());
    for (const std::string& table : tables) {
        auto db = attach(server, path);
        uint64_t rows = 0;
        std::ostringstream report;
        try {
            TIBTransaction tr(*db, TTransactionOptions::ReadDamagedSource());
            TIBStatement scan(tr, "select rdb$db_key, t.* from " + QuoteIdentifier(table) + " t plan (t natural)");
            scan.ForEachRow([&](const TSqlMessage&) {
                ++rows;
                return true;
            });
            report << table << ": " << rows << " rows, no failure";
            result.rowsMissing = result.rowsMissing || rows != static_cast<uint64_t>(expected.at(table));
        } catch (const EIBSqlError& e) {
            ++result.failures;
            const bool answers = Answers(*db);
            report << table << ": failed after " << rows << " rows; codes " << CodeList(e.Codes()) << "; usable "
                   << e.AttachmentUsable() << "; answers " << answers << "; text: " << e.what();
            EXPECT_EQ(e.AttachmentUsable(), answers) << report.str();
        }
        std::cout << "[damage " << label << "] " << report.str() << "\n";
    }
    return result;
}

TEST_P(SqlDamaged, TheVerdictOnTheAttachmentAfterAFailedReadIsWhatItThenDoes)
{
    const std::string kind(fbdamage::kindName(GetParam()));
    const auto path = server().freshPath("sql_damaged_" + kind);
    server().createDamagedDatabase(path, GetParam(), 2);
    const ScanResult result = ScanEveryTable(server(), path, kind);
    // Damage over data pages shows (a failure, or rows gone); a natural scan uses no index, so
    // damaged b-tree pages do not stop it.
    if (GetParam() == fbdamage::Kind::BTree) {
        EXPECT_EQ(result.failures, 0);
        EXPECT_FALSE(result.rowsMissing);
    } else {
        EXPECT_TRUE(result.failures > 0 || result.rowsMissing);
    }
}

// A file cut short: the pages past its end cannot be read ("I/O error ... File size is less than
// expected"), and the attachment goes on working.
TEST_F(SqlDamaged, FileCutShortFailsWithAnIoErrorThatLeavesTheAttachmentUsable)
{
    const auto path = server().freshPath("sql_damaged_short");
    server().createHealthyDatabase(path);
    const auto size = std::filesystem::file_size(path);
    std::filesystem::resize_file(path, size - size / 5 / 4096 * 4096);
    const ScanResult result = ScanEveryTable(server(), path, "short");
    EXPECT_GT(result.failures, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SqlDamaged,
                         testing::Values(fbdamage::Kind::Records, fbdamage::Kind::Count, fbdamage::Kind::ZeroPage,
                                         fbdamage::Kind::BTree),
                         [](const auto& info) { return std::string(fbdamage::kindName(info.param)); });

}  // namespace
