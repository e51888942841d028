#include "FbDamage.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <utility>

namespace fbdamage {
namespace {

// Offsets in the ODS 12 page layouts. Every page starts with a 16-byte header.
constexpr std::size_t kPageHeaderSize = 16;
constexpr std::size_t kHeaderPageSize = 16;      // header page: page size, 2 bytes
constexpr std::size_t kHeaderOdsVersion = 18;    // header page: ODS version, 2 bytes
constexpr std::uint16_t kOdsMajorMask = 0x7FFF;  // high bit marks a Firebird-made file
constexpr std::uint16_t kOdsMajor = 12;
constexpr std::uint16_t kOdsFirebirdFlag = 0x8000;
constexpr std::size_t kHeaderOdsMinor = 64;      // header page: ODS minor version, 2 bytes
constexpr std::size_t kDataRelation = 20;
constexpr std::size_t kDataCount = 22;
constexpr std::size_t kDataSlots = 24;            // array of (offset, length), 2 bytes each
constexpr std::size_t kSlotSize = 4;
// Record headers hold page numbers (back versions, fragments); garbage there sends the server
// reading past the end of the file and the validation stops. The longest ODS 12 record header
// ends before this offset, so the garbage goes over the record data behind it.
constexpr std::size_t kRecordHeaderRoom = 24;
constexpr std::size_t kBTreeRelation = 28;
constexpr std::size_t kBTreeLength = 30;
constexpr std::size_t kBTreeId = 32;
constexpr std::size_t kBTreeLevel = 33;
constexpr std::size_t kBTreeNodes = 34;

std::uint16_t get16(const std::vector<std::uint8_t>& page, std::size_t at) {
    return static_cast<std::uint16_t>(page.at(at) | (page.at(at + 1) << 8));
}

void put16(std::vector<std::uint8_t>& page, std::size_t at, std::uint16_t value) {
    page.at(at) = static_cast<std::uint8_t>(value & 0xFF);
    page.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

// Reproducible garbage (xorshift32); never all zero, so it cannot pass for an empty slot.
class Garbage {
public:
    explicit Garbage(std::uint32_t seed) : state_(seed == 0 ? 0x9E3779B9u : seed) {}
    std::uint8_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<std::uint8_t>(state_ | 0x01);
    }
    void fill(std::vector<std::uint8_t>& page, std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to && i < page.size(); ++i) page[i] = next();
    }

private:
    std::uint32_t state_;
};

bool isUserPage(const PageInfo& info, const DamageOptions& options) {
    return options.relation ? info.relation == *options.relation
                            : info.relation >= kFirstUserRelation;
}

bool isSystemPage(const PageInfo& info, const DamageOptions& options) {
    return info.relation < kFirstUserRelation && info.relation == options.relation.value_or(kIndexSegmentsRelation);
}

bool fits(const PageInfo& info, const DamageOptions& options) {
    if (options.kind == Kind::SystemBTree)
        return isSystemPage(info, options) && info.type == PageType::BTree && info.level == 0;
    if (!isUserPage(info, options)) return false;
    switch (options.kind) {
    case Kind::Records:
    case Kind::Count:
    case Kind::ZeroPage:
        return info.type == PageType::Data && info.count > 0;
    case Kind::BTree:
        return info.type == PageType::BTree && info.level == 0;
    case Kind::SystemBTree: break;
    }
    return false;
}

// Spread the chosen pages over the candidates instead of taking the first ones, so the damage
// does not always hit the start of a table.
std::vector<PageInfo> choose(const std::vector<PageInfo>& candidates, unsigned wanted) {
    std::vector<PageInfo> chosen;
    const std::size_t n = candidates.size();
    const std::size_t take = std::min<std::size_t>(wanted, n);
    for (std::size_t i = 0; i < take; ++i) chosen.push_back(candidates[(2 * i + 1) * n / (2 * take)]);
    return chosen;
}

void garbleRecords(std::vector<std::uint8_t>& page, const PageInfo& info, Garbage& garbage) {
    for (std::size_t slot = 0; slot < info.count; ++slot) {
        const std::size_t at = kDataSlots + slot * kSlotSize;
        if (at + kSlotSize > page.size()) break;
        const std::uint16_t offset = get16(page, at);
        const std::uint16_t length = get16(page, at + 2);
        if (offset == 0 || length <= kRecordHeaderRoom) continue;
        garbage.fill(page, std::size_t{offset} + kRecordHeaderRoom, std::size_t{offset} + length);
    }
}

void garbleBTree(std::vector<std::uint8_t>& page, Garbage& garbage) {
    garbage.fill(page, kBTreeNodes, page.size());
}

// A count whose slot array runs into the records: the slots past the real ones then read record
// bytes as offsets and lengths.
void raiseCount(std::vector<std::uint8_t>& page, const PageInfo& info) {
    std::size_t lowestRecord = page.size();
    for (std::size_t slot = 0; slot < info.count; ++slot) {
        const std::uint16_t offset = get16(page, kDataSlots + slot * kSlotSize);
        if (offset != 0) lowestRecord = std::min<std::size_t>(lowestRecord, offset);
    }
    const std::size_t slotsToRecords = (lowestRecord - kDataSlots) / kSlotSize;
    const std::size_t raised = std::max<std::size_t>(slotsToRecords + 8, std::size_t{info.count} + 8);
    put16(page, kDataCount, static_cast<std::uint16_t>(std::min<std::size_t>(raised, 0xFFFF)));
}

void applyDamage(std::vector<std::uint8_t>& page, const PageInfo& info, Kind kind, Garbage& garbage) {
    switch (kind) {
    case Kind::Records: garbleRecords(page, info, garbage); break;
    case Kind::BTree: garbleBTree(page, garbage); break;
    case Kind::Count: raiseCount(page, info); break;
    case Kind::ZeroPage:
    case Kind::SystemBTree: std::fill(page.begin(), page.end(), 0); break;
    }
}

constexpr std::array<std::pair<Kind, std::string_view>, 5> kKindNames{{
    {Kind::Records, "records"},
    {Kind::BTree, "btree"},
    {Kind::Count, "count"},
    {Kind::ZeroPage, "zero"},
    {Kind::SystemBTree, "system-btree"},
}};

}  // namespace

std::string_view kindName(Kind kind) {
    for (const auto& [k, name] : kKindNames)
        if (k == kind) return name;
    return "?";
}

std::optional<Kind> kindFromName(std::string_view name) {
    for (const auto& [k, n] : kKindNames)
        if (n == name) return k;
    return std::nullopt;
}

std::vector<Kind> allKinds() {
    std::vector<Kind> kinds;
    for (const auto& entry : kKindNames)
        if (entry.first != Kind::SystemBTree) kinds.push_back(entry.first);
    return kinds;
}

DatabaseFile::DatabaseFile(const std::filesystem::path& path) : path_(path) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) throw DamageError("cannot open " + path_.string());
    std::vector<std::uint8_t> head(kPageHeaderSize + 8, 0);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    if (!in || static_cast<PageType>(head[0]) != PageType::Header)
        throw DamageError(path_.string() + " has no database header page");
    const std::uint16_t ods = get16(head, kHeaderOdsVersion) & kOdsMajorMask;
    if (ods != kOdsMajor)
        throw DamageError(path_.string() + ": on-disk structure " + std::to_string(ods) + ", not 12");
    pageSize_ = get16(head, kHeaderPageSize);
    if (pageSize_ < 1024 || (pageSize_ & (pageSize_ - 1)) != 0)
        throw DamageError(path_.string() + ": implausible page size " + std::to_string(pageSize_));
    pageCount_ = static_cast<std::uint32_t>(std::filesystem::file_size(path_) / pageSize_);
}

std::vector<std::uint8_t> DatabaseFile::readPage(std::uint32_t number) const {
    if (number >= pageCount_) throw DamageError("page " + std::to_string(number) + " past the end");
    std::ifstream in(path_, std::ios::binary);
    std::vector<std::uint8_t> page(pageSize_);
    in.seekg(static_cast<std::streamoff>(number) * pageSize_);
    in.read(reinterpret_cast<char*>(page.data()), pageSize_);
    if (!in) throw DamageError("cannot read page " + std::to_string(number));
    return page;
}

void DatabaseFile::writePage(std::uint32_t number, const std::vector<std::uint8_t>& page) const {
    if (number >= pageCount_ || page.size() != pageSize_)
        throw DamageError("bad write of page " + std::to_string(number));
    std::fstream out(path_, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(number) * pageSize_);
    out.write(reinterpret_cast<const char*>(page.data()), pageSize_);
    out.flush();
    if (!out) throw DamageError("cannot write page " + std::to_string(number));
}

std::vector<PageInfo> DatabaseFile::pages() const {
    std::ifstream in(path_, std::ios::binary);
    std::vector<PageInfo> infos;
    std::vector<std::uint8_t> page(pageSize_);
    for (std::uint32_t n = 0; n < pageCount_; ++n) {
        in.read(reinterpret_cast<char*>(page.data()), pageSize_);
        if (!in) throw DamageError("cannot read page " + std::to_string(n));
        infos.push_back(describePage(n, page));
    }
    return infos;
}

PageInfo describePage(std::uint32_t number, const std::vector<std::uint8_t>& page) {
    PageInfo info;
    info.number = number;
    info.type = static_cast<PageType>(page.at(0));
    if (info.type == PageType::Data) {
        info.relation = get16(page, kDataRelation);
        info.count = get16(page, kDataCount);
    } else if (info.type == PageType::BTree) {
        info.relation = get16(page, kBTreeRelation);
        info.length = get16(page, kBTreeLength);
        info.indexId = page.at(kBTreeId);
        info.level = page.at(kBTreeLevel);
    }
    return info;
}

std::vector<std::uint32_t> damage(const std::filesystem::path& path, const DamageOptions& options) {
    const DatabaseFile file(path);
    std::vector<PageInfo> candidates;
    for (const PageInfo& info : file.pages())
        if (fits(info, options)) candidates.push_back(info);
    if (candidates.empty() || options.pages == 0)
        throw DamageError(path.string() + ": no page fits damage kind " + std::string(kindName(options.kind)));

    std::vector<std::uint32_t> damaged;
    Garbage garbage(options.seed);
    for (const PageInfo& info : choose(candidates, options.pages)) {
        std::vector<std::uint8_t> page = file.readPage(info.number);
        applyDamage(page, info, options.kind, garbage);
        file.writePage(info.number, page);
        damaged.push_back(info.number);
    }
    return damaged;
}

// The header page is read and written as bytes, not through DatabaseFile: a file of another
// structure is exactly what these are for.
namespace {

std::vector<std::uint8_t> readHead(const std::filesystem::path& path, std::fstream& file,
                                   std::ios::openmode mode) {
    file.open(path, std::ios::binary | mode);
    if (!file) throw DamageError("cannot open " + path.string());
    std::vector<std::uint8_t> head(kHeaderOdsMinor + 2, 0);
    file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    if (file.gcount() != static_cast<std::streamsize>(head.size()) || head[0] != static_cast<std::uint8_t>(PageType::Header))
        throw DamageError(path.string() + ": no header page");
    return head;
}

}  // namespace

OdsVersion readOdsVersion(const std::filesystem::path& path) {
    std::fstream file;
    const std::vector<std::uint8_t> head = readHead(path, file, std::ios::in);
    const std::uint16_t version = get16(head, kHeaderOdsVersion);
    return {static_cast<std::uint16_t>(version & kOdsMajorMask), get16(head, kHeaderOdsMinor),
            (version & kOdsFirebirdFlag) != 0};
}

void setOdsVersion(const std::filesystem::path& path, std::uint16_t major, std::uint16_t minor) {
    if ((major & kOdsFirebirdFlag) != 0) throw DamageError("ODS major " + std::to_string(major) + " out of range");
    std::fstream file;
    std::vector<std::uint8_t> head = readHead(path, file, std::ios::in | std::ios::out);
    const auto flag = static_cast<std::uint16_t>(get16(head, kHeaderOdsVersion) & kOdsFirebirdFlag);
    put16(head, kHeaderOdsVersion, static_cast<std::uint16_t>(flag | major));
    put16(head, kHeaderOdsMinor, minor);
    for (const std::size_t at : {kHeaderOdsVersion, kHeaderOdsMinor}) {
        file.seekp(static_cast<std::streamoff>(at));
        file.write(reinterpret_cast<const char*>(head.data() + at), 2);
    }
    if (!file.flush()) throw DamageError("cannot write " + path.string());
}

}  // namespace fbdamage
