// The damage tool on database files built byte by byte here, with the ODS 12 page layouts.
#include "FbDamage.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <set>

namespace {

using fbdamage::DamageError;
using fbdamage::Kind;
using fbdamage::PageType;
using Page = std::vector<std::uint8_t>;

void put16(Page& page, std::size_t at, unsigned value) {
    page.at(at) = static_cast<std::uint8_t>(value & 0xFF);
    page.at(at + 1) = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

unsigned get16(const Page& page, std::size_t at) { return page.at(at) | (page.at(at + 1) << 8); }

struct Record {
    unsigned offset;
    unsigned length;
};

// A small file: header, page inventory, then the pages a test adds.
class FileBuilder {
public:
    explicit FileBuilder(unsigned pageSize = 4096, unsigned ods = 0x800C) : pageSize_(pageSize) {
        Page header(pageSize_, 0);
        header[0] = 1;
        put16(header, 16, pageSize_);
        put16(header, 18, ods);
        pages_.push_back(header);
        Page inventory(pageSize_, 0);
        inventory[0] = 2;
        pages_.push_back(inventory);
    }

    // A data page whose records are filled with a recognisable byte.
    std::uint32_t data(unsigned relation, const std::vector<Record>& records) {
        Page page(pageSize_, 0);
        page[0] = 5;
        put16(page, 20, relation);
        put16(page, 22, static_cast<unsigned>(records.size()));
        for (std::size_t i = 0; i < records.size(); ++i) {
            put16(page, 24 + 4 * i, records[i].offset);
            put16(page, 26 + 4 * i, records[i].length);
            for (unsigned b = 0; b < records[i].length; ++b) page.at(records[i].offset + b) = 0x5A;
        }
        return add(page);
    }

    std::uint32_t btree(unsigned relation, unsigned level) {
        Page page(pageSize_, 0x33);
        page[0] = 7;
        page[1] = 0;
        put16(page, 28, relation);
        put16(page, 30, pageSize_ - 100);
        page[32] = 0;
        page[33] = static_cast<std::uint8_t>(level);
        return add(page);
    }

    std::uint32_t add(const Page& page) {
        pages_.push_back(page);
        return static_cast<std::uint32_t>(pages_.size() - 1);
    }

    std::filesystem::path write(const std::string& name) const {
        const auto path = std::filesystem::temp_directory_path() /
                          (name + "_" + std::to_string(::getpid()) + ".fdb");
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (const Page& p : pages_) out.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
        return path;
    }

private:
    unsigned pageSize_;
    std::vector<Page> pages_;
};

const std::vector<Record> kThreeRecords{{4000, 60}, {3900, 80}, {3850, 40}};

class FbDamageTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const auto& p : files_) std::filesystem::remove(p);
    }
    std::filesystem::path keep(std::filesystem::path path) {
        files_.push_back(path);
        return path;
    }
    std::vector<Page> allPages(const std::filesystem::path& path) {
        const fbdamage::DatabaseFile file(path);
        std::vector<Page> pages;
        for (std::uint32_t n = 0; n < file.pageCount(); ++n) pages.push_back(file.readPage(n));
        return pages;
    }
    std::vector<std::uint32_t> damage(const std::filesystem::path& path, Kind kind, unsigned pages = 1,
                                      std::optional<std::uint16_t> relation = std::nullopt) {
        fbdamage::DamageOptions options;
        options.kind = kind;
        options.pages = pages;
        options.relation = relation;
        return fbdamage::damage(path, options);
    }
    std::vector<std::filesystem::path> files_;
};

TEST_F(FbDamageTest, PageSizeComesFromTheHeaderPageAndTypesFromEachPage) {
    FileBuilder builder(8192);
    const auto data = builder.data(130, {{8000, 100}});
    const auto leaf = builder.btree(131, 0);
    const auto path = keep(builder.write("layout"));
    const fbdamage::DatabaseFile file(path);
    EXPECT_EQ(file.pageSize(), 8192u);
    EXPECT_EQ(file.pageCount(), 4u);
    const auto pages = file.pages();
    EXPECT_EQ(pages[0].type, PageType::Header);
    EXPECT_EQ(pages[1].type, PageType::PageInventory);
    EXPECT_EQ(pages[data].type, PageType::Data);
    EXPECT_EQ(pages[data].relation, 130);
    EXPECT_EQ(pages[data].count, 1);
    EXPECT_EQ(pages[leaf].type, PageType::BTree);
    EXPECT_EQ(pages[leaf].relation, 131);
    EXPECT_EQ(pages[leaf].level, 0);
}

TEST_F(FbDamageTest, FilesThatAreNotOds12DatabasesAreRefused) {
    struct Case {
        const char* name;
        unsigned pageSize;
        unsigned ods;
        bool breakHeaderType;
    };
    const Case cases[] = {
        {"ods11", 4096, 0x800B, false},
        {"odd_page_size", 3000, 0x800C, false},
        {"no_header", 4096, 0x800C, true},
    };
    for (const Case& c : cases) {
        FileBuilder builder(c.pageSize == 3000 ? 4096 : c.pageSize, c.ods);
        auto path = keep(builder.write(c.name));
        if (c.pageSize == 3000 || c.breakHeaderType) {
            std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
            if (c.breakHeaderType) {
                f.seekp(0);
                f.put(5);
            } else {
                f.seekp(16);
                f.put(static_cast<char>(3000 & 0xFF));
                f.put(static_cast<char>(3000 >> 8));
            }
        }
        EXPECT_THROW(fbdamage::DatabaseFile{path}, DamageError) << c.name;
        EXPECT_THROW(damage(path, Kind::Records), DamageError) << c.name;
    }
}

TEST_F(FbDamageTest, RecordGarbageCoversRecordBodiesAndKeepsHeadersAndSlots) {
    FileBuilder builder;
    const auto target = builder.data(128, kThreeRecords);
    const auto path = keep(builder.write("records"));
    const auto before = allPages(path);
    ASSERT_EQ(damage(path, Kind::Records), std::vector<std::uint32_t>{target});
    const auto after = allPages(path);
    const Page& page = after[target];
    EXPECT_TRUE(std::equal(page.begin(), page.begin() + 24 + 4 * 3, before[target].begin()))
        << "page header and slot array must stay";
    for (const Record& r : kThreeRecords) {
        for (unsigned b = 0; b < 24; ++b) EXPECT_EQ(page[r.offset + b], 0x5A) << "record header room kept";
        unsigned changed = 0;
        for (unsigned b = 24; b < r.length; ++b) changed += page[r.offset + b] != 0x5A;
        EXPECT_GT(changed, (r.length - 24) * 3 / 4) << "record body at " << r.offset;
    }
    for (std::size_t n = 0; n < after.size(); ++n) {
        if (n != target) {
            EXPECT_EQ(after[n], before[n]) << "page " << n;
        }
    }
}

TEST_F(FbDamageTest, RaisedCountRunsTheSlotArrayIntoTheRecords) {
    FileBuilder builder;
    const auto target = builder.data(128, kThreeRecords);
    const auto path = keep(builder.write("count"));
    const auto before = allPages(path);
    damage(path, Kind::Count);
    const auto after = allPages(path);
    const unsigned count = get16(after[target], 22);
    EXPECT_GT(24 + 4 * count, 3850u) << "slot array must reach the lowest record";
    Page expected = before[target];
    put16(expected, 22, count);
    EXPECT_EQ(after[target], expected) << "only the count changes";
}

TEST_F(FbDamageTest, ZeroedPageIsAllZero) {
    FileBuilder builder;
    builder.data(128, kThreeRecords);
    const auto path = keep(builder.write("zero"));
    const auto target = damage(path, Kind::ZeroPage).at(0);
    const auto after = allPages(path);
    EXPECT_EQ(after[target], Page(4096, 0));
    EXPECT_EQ(after[0][0], 1) << "header page untouched";
}

TEST_F(FbDamageTest, BTreeGarbageHitsLeafPagesOnlyAndKeepsTheirHeader) {
    FileBuilder builder;
    const auto root = builder.btree(128, 1);
    const auto leaf = builder.btree(128, 0);
    const auto path = keep(builder.write("btree"));
    const auto before = allPages(path);
    EXPECT_EQ(damage(path, Kind::BTree, 5), std::vector<std::uint32_t>{leaf});
    const auto after = allPages(path);
    EXPECT_EQ(after[root], before[root]);
    EXPECT_TRUE(std::equal(after[leaf].begin(), after[leaf].begin() + 34, before[leaf].begin()));
    EXPECT_NE(after[leaf], before[leaf]);
}

TEST_F(FbDamageTest, SystemBTreeZeroesOnlyTheLeavesOfTheNamedSystemTablesIndexes) {
    FileBuilder builder;
    const auto segmentsRoot = builder.btree(fbdamage::kIndexSegmentsRelation, 1);
    const auto segmentsLeaf = builder.btree(fbdamage::kIndexSegmentsRelation, 0);
    const auto fieldsLeaf = builder.btree(5, 0);
    const auto userLeaf = builder.btree(3 + fbdamage::kFirstUserRelation, 0);
    const auto path = keep(builder.write("system_btree"));
    const auto before = allPages(path);
    EXPECT_EQ(damage(path, Kind::SystemBTree, 5), std::vector<std::uint32_t>{segmentsLeaf});
    EXPECT_EQ(damage(keep(builder.write("system_btree_5")), Kind::SystemBTree, 5, std::uint16_t{5}),
              std::vector<std::uint32_t>{fieldsLeaf});
    EXPECT_THROW(damage(keep(builder.write("system_btree_user")), Kind::SystemBTree, 1,
                        std::uint16_t{3 + fbdamage::kFirstUserRelation}),
                 DamageError)
        << "a user table's index is not a system one";
    const auto after = allPages(path);
    EXPECT_EQ(after[segmentsLeaf], Page(4096, 0)) << "a page of no type: reads through it fail, none crash";
    for (const auto kept : {segmentsRoot, fieldsLeaf, userLeaf}) EXPECT_EQ(after[kept], before[kept]) << kept;
}

TEST_F(FbDamageTest, OnlyUserTablesAreHitUnlessARelationIsNamed) {
    FileBuilder builder;
    const auto system = builder.data(5, kThreeRecords);
    const auto first = builder.data(128, kThreeRecords);
    const auto second = builder.data(129, kThreeRecords);
    const auto path = keep(builder.write("relations"));
    const auto hit = damage(path, Kind::ZeroPage, 10);
    EXPECT_EQ(std::set<std::uint32_t>(hit.begin(), hit.end()), (std::set<std::uint32_t>{first, second}));
    const auto path2 = keep(FileBuilder(builder).write("relations2"));
    EXPECT_EQ(damage(path2, Kind::ZeroPage, 10, std::uint16_t{129}), std::vector<std::uint32_t>{second});
    EXPECT_EQ(damage(path2, Kind::ZeroPage, 1, std::uint16_t{5}), std::vector<std::uint32_t>{system});
}

TEST_F(FbDamageTest, ChosenPagesAreDistinctAndAsManyAsAskedWhenThereAreEnough) {
    FileBuilder builder;
    for (int i = 0; i < 9; ++i) builder.data(128, kThreeRecords);
    const auto path = keep(builder.write("spread"));
    for (unsigned wanted : {1u, 2u, 3u, 9u}) {
        const auto copy = keep(builder.write("spread_" + std::to_string(wanted)));
        const auto hit = damage(copy, Kind::Records, wanted);
        EXPECT_EQ(hit.size(), wanted);
        EXPECT_EQ(std::set<std::uint32_t>(hit.begin(), hit.end()).size(), wanted);
    }
    EXPECT_EQ(damage(path, Kind::Records, 20).size(), 9u);
}

TEST_F(FbDamageTest, NoFittingPageIsAnError) {
    FileBuilder builder;
    builder.data(5, kThreeRecords);   // system table only
    builder.data(128, {});            // user table, no records
    const auto path = keep(builder.write("nofit"));
    const auto before = allPages(path);
    for (Kind kind : fbdamage::allKinds()) EXPECT_THROW(damage(path, kind), DamageError) << kindName(kind);
    EXPECT_THROW(damage(path, Kind::SystemBTree), DamageError) << "no b-tree page at all";
    EXPECT_EQ(allPages(path), before);
}

TEST_F(FbDamageTest, SameSeedSameGarbage) {
    FileBuilder builder;
    builder.data(128, kThreeRecords);
    const auto a = keep(builder.write("seed_a"));
    const auto b = keep(builder.write("seed_b"));
    const auto c = keep(builder.write("seed_c"));
    fbdamage::DamageOptions options;
    options.seed = 42;
    fbdamage::damage(a, options);
    fbdamage::damage(b, options);
    options.seed = 43;
    fbdamage::damage(c, options);
    EXPECT_EQ(allPages(a), allPages(b));
    EXPECT_NE(allPages(a), allPages(c));
}

TEST(FbDamageKinds, NamesRoundTrip) {
    for (Kind kind : fbdamage::allKinds()) EXPECT_EQ(fbdamage::kindFromName(fbdamage::kindName(kind)), kind);
    EXPECT_EQ(fbdamage::kindFromName("system-btree"), Kind::SystemBTree);
    EXPECT_FALSE(fbdamage::kindFromName("everything").has_value());
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(FbDamageTest, TheOdsVersionIsReadFromAndWrittenToItsHeaderFieldsOnly) {
    struct Case {
        unsigned storedVersion;  // the word at offset 18
        unsigned major;          // set to
        unsigned minor;
        bool firebird;
    };
    const Case cases[] = {
        {0x800C, 11, 0, true},
        {0x800C, 13, 1, true},
        {0x000A, 10, 0, false},  // an InterBase file stays one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.major * 100 + c.minor);
        FileBuilder builder(4096, c.storedVersion);
        builder.data(130, kThreeRecords);
        const auto path = keep(builder.write("ods"));
        EXPECT_EQ(fbdamage::readOdsVersion(path),
                  (fbdamage::OdsVersion{static_cast<std::uint16_t>(c.storedVersion & 0x7FFF), 0, c.firebird}));
        auto expected = fileBytes(path);

        fbdamage::setOdsVersion(path, static_cast<std::uint16_t>(c.major), static_cast<std::uint16_t>(c.minor));

        EXPECT_EQ(fbdamage::readOdsVersion(path),
                  (fbdamage::OdsVersion{static_cast<std::uint16_t>(c.major), static_cast<std::uint16_t>(c.minor), c.firebird}));
        put16(expected, 18, (c.storedVersion & 0x8000) | c.major);
        put16(expected, 64, c.minor);
        EXPECT_EQ(fileBytes(path), expected) << "only the two version fields change";
    }
}

TEST_F(FbDamageTest, TheOdsHelperRefusesWhatIsNoHeaderPageOrNoVersion) {
    FileBuilder builder;
    const auto path = keep(builder.write("odsbad"));
    EXPECT_THROW(fbdamage::setOdsVersion(path, 0x8000 | 11, 0), DamageError);
    const auto empty = keep(std::filesystem::temp_directory_path() / ("odsempty_" + std::to_string(::getpid())));
    std::ofstream{empty};
    EXPECT_THROW(fbdamage::readOdsVersion(empty), DamageError);
    EXPECT_THROW(fbdamage::setOdsVersion(empty, 11, 0), DamageError);
    EXPECT_TRUE(fileBytes(empty).empty());
    EXPECT_THROW(fbdamage::readOdsVersion(path.string() + ".missing"), DamageError);
}

}  // namespace
