// Record numbers against the server's own keys: on 4 KB and 8 KB pages, every RDB$DB_KEY a
// healthy table hands out names a slot of one of that table's data pages (sequence x slots +
// line), and every used slot has its key; and a probe of several keys fetches each directly.

#include <algorithm>
#include <set>
#include <sstream>

#include "IBDatabase.h"
#include "IBSqlError.h"
#include "IBStatement.h"
#include "IBTransaction.h"
#include "RescueDbKey.h"
#include "RescuePump.h"
#include "RescueSql.h"
#include "RescueServerSupport.h"
#include "SqlValues.h"

namespace tovanel::testing {
namespace {

class DbKeyOnServer : public testserver::RealServerTest, public ::testing::WithParamInterface<std::uint32_t> {
protected:
    // Two tables with rows of several sizes, some deleted, so lines have gaps.
    fs::path MakeDatabase(std::uint32_t pageSize) {
        const fs::path path = server().freshPath("chaves");
        std::ostringstream sql;
        sql << CreateDatabaseStatement(path, server(), "page_size " + std::to_string(pageSize))
            << "create table a (id integer not null, t varchar(300));\n"
            << "create table b (id integer not null, t varchar(20));\n"
            << "commit;\nset term ^;\n"
            << "execute block as declare i integer = 0; begin\n"
            << "  while (i < 3000) do begin\n"
            << "    insert into a values (:i, rpad('', mod(:i * 37, 300), 'x'));\n"
            << "    insert into b values (:i, 'b' || :i);\n"
            << "    i = i + 1;\n"
            << "  end\n"
            << "end^\nset term ;^\ncommit;\n"
            << "delete from a where mod(id, 11) = 0;\ncommit;\n";
        const auto result = testserver::runCommand({"isql-fb", "-q", "-b"}, sql.str());
        EXPECT_TRUE(result.ok()) << result.output;
        // The sweep frees the deleted records' slots, so every used slot holds a live record.
        const auto sweep = server().gfix({"-sweep"}, path);
        EXPECT_TRUE(sweep.ok()) << sweep.output;
        return path;
    }

    // Keys as isql shows them: 16 hex digits, one per line.
    std::set<std::uint64_t> KeysOf(const fs::path& database, const std::string& table, std::uint16_t relation) {
        const auto result = server().isql(database, "set heading off;\nselect rdb$db_key from " + table + ";\n");
        EXPECT_TRUE(result.ok()) << result.output;
        std::set<std::uint64_t> records;
        std::istringstream lines(result.output);
        for (std::string hex; lines >> hex;) {
            if (hex.size() != 16) continue;
            TDbKey key;
            for (std::size_t i = 0; i < 8; ++i)
                key.bytes[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
            EXPECT_EQ(key.RelationId(), relation);
            records.insert(key.RecordNumber());
        }
        return records;
    }

    static std::uint32_t Get32(const std::vector<std::uint8_t>& page, std::size_t at) {
        return page[at] | page[at + 1] << 8 | page[at + 2] << 16 | static_cast<std::uint32_t>(page[at + 3]) << 24;
    }
    static std::uint16_t Get16(const std::vector<std::uint8_t>& page, std::size_t at) {
        return static_cast<std::uint16_t>(page[at] | page[at + 1] << 8);
    }

    // Record numbers of the used slots of the relation's data pages, read from the file.
    static std::set<std::uint64_t> SlotsOnPages(const fs::path& database, std::uint16_t relation) {
        const fbdamage::DatabaseFile file(database);
        const std::uint32_t slots = SlotsPerDataPage(file.pageSize());
        std::set<std::uint64_t> records;
        for (const fbdamage::PageInfo& info : file.pages()) {
            if (info.type != fbdamage::PageType::Data || info.relation != relation) continue;
            const auto page = file.readPage(info.number);
            const std::uint32_t sequence = Get32(page, 16);
            for (std::uint32_t line = 0; line < info.count; ++line)
                if (Get16(page, 24 + 4 * line) != 0 && Get16(page, 26 + 4 * line) != 0)
                    records.insert(RecordNumberAt(slots, {sequence, line}));
        }
        return records;
    }
};

TEST_P(DbKeyOnServer, EveryKeyNamesAUsedSlotOfItsTable) {
    const fs::path database = MakeDatabase(GetParam());
    const auto a = KeysOf(database, "a", 128);
    const auto b = KeysOf(database, "b", 129);
    EXPECT_EQ(a.size(), 3000u - 273u);
    EXPECT_EQ(b.size(), 3000u);
    EXPECT_EQ(a, SlotsOnPages(database, 128));
    EXPECT_EQ(b, SlotsOnPages(database, 129));
    EXPECT_GT(*b.rbegin(), SlotsPerDataPage(GetParam())) << "the table spans several pages";
}

// The pump asks a page's record numbers many per round trip: the server must fetch each key on
// its own, never read the table through, which on a table with a zeroed page fails.
TEST_P(DbKeyOnServer, SeveralKeysInOneProbeAreFetchedDirectlyBesideADamagedPage) {
    const fs::path database = MakeDatabase(GetParam());
    const std::uint32_t slots = SlotsPerDataPage(GetParam());
    const auto before = SlotsOnPages(database, 129);
    fbdamage::damage(database, {fbdamage::Kind::ZeroPage, 1, std::uint16_t{129}, 5});
    const auto after = SlotsOnPages(database, 129);
    std::set<std::uint64_t> zeroedPages;
    for (const std::uint64_t record : before)
        if (after.count(record) == 0) zeroedPages.insert(record / slots);
    ASSERT_EQ(zeroedPages.size(), 1u);

    // A run on a page beside the zeroed one: its records, slots past them, one key asked twice.
    const std::uint64_t page = *zeroedPages.begin() == 0 ? 1 : *zeroedPages.begin() - 1;
    std::uint64_t last = page * slots;
    for (const std::uint64_t record : after)
        if (record / slots == page) last = std::max(last, record);
    const std::uint64_t from = std::max<std::uint64_t>(page * slots, last >= 40 ? last - 40 : 0);
    std::vector<std::uint64_t> asked;
    for (std::uint64_t record = from; record < from + 64 && record < (page + 1) * slots; ++record)
        asked.push_back(record);
    asked.push_back(asked.front());
    std::set<std::uint64_t> expected;
    for (const std::uint64_t record : asked)
        if (after.count(record) > 0) expected.insert(record);
    ASSERT_FALSE(expected.empty());
    ASSERT_LT(expected.size(), 64u) << "some slots asked are empty";

    const ServerLogin login{server().user(), server().password()};
    TIBDatabase db;
    OpenDatabase(db, database.string(), login);
    TIBTransaction read(db, TTransactionOptions::ReadDamagedSource());
    TTableInfo table;
    for (const TTableInfo& info : ReadUserTables(read))
        if (info.name == "B") table = info;
    ASSERT_EQ(table.name, "B");
    TIBStatement probe(read, ProbeSql(table, asked.size()));
    for (std::size_t k = 0; k < asked.size(); ++k)
        probe.Params().SetDbKey(k, TDbKey::For(129, static_cast<std::uint32_t>(asked[k])));
    std::vector<std::uint64_t> got;
    probe.ForEachRow([&](const TSqlMessage& row) {
        got.push_back(row.GetDbKey(table.columns.size())->RecordNumber());
        EXPECT_EQ(row.GetText(1).value_or(""), "b" + std::to_string(row.GetInt32(0).value_or(-1)));
        return true;
    });
    EXPECT_EQ(std::set<std::uint64_t>(got.begin(), got.end()), expected);
    EXPECT_EQ(got.size(), expected.size()) << "each row once";

    // What the probe must not be: the same table read through fails on the zeroed page.
    TIBDatabase other;
    OpenDatabase(other, database.string(), login);
    TIBTransaction again(other, TTransactionOptions::ReadDamagedSource());
    TIBStatement scan(again, NaturalScanSql(table));
    EXPECT_THROW(scan.ForEachRow([](const TSqlMessage&) { return true; }), EIBSqlError);
}

INSTANTIATE_TEST_SUITE_P(PageSizes, DbKeyOnServer, ::testing::Values(4096u, 8192u));

}  // namespace
}  // namespace tovanel::testing
