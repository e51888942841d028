// Record numbers against the server's own keys: on 4 KB and 8 KB pages, every RDB$DB_KEY a
// healthy table hands out names a slot of one of that table's data pages (sequence x slots +
// line), and every used slot has its key.

#include <set>
#include <sstream>

#include "RescueDbKey.h"
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
        sql << "create database 'localhost:" << path.string() << "' user '" << server().user() << "' password '"
            << server().password() << "' page_size " << pageSize << ";\n"
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

INSTANTIATE_TEST_SUITE_P(PageSizes, DbKeyOnServer, ::testing::Values(4096u, 8192u));

}  // namespace
}  // namespace tovanel::testing
