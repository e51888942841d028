// Damages Firebird 3 (ODS 12) database files on purpose, for tests and samples: finds pages by
// reading the file's own page headers and overwrites bytes of chosen pages. The file must not be
// held by a server while it is changed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace fbdamage {

// Page types of ODS 12, from the type byte at offset 0 of every page.
enum class PageType : std::uint8_t {
    Undefined = 0,
    Header = 1,
    PageInventory = 2,
    TransactionInventory = 3,
    Pointer = 4,
    Data = 5,
    IndexRoot = 6,
    BTree = 7,
    Blob = 8,
    Generator = 9,
    ScnInventory = 10,
};

// First relation id of user tables; lower ids are system tables.
inline constexpr std::uint16_t kFirstUserRelation = 128;

struct PageInfo {
    std::uint32_t number = 0;
    PageType type = PageType::Undefined;
    std::uint16_t relation = 0;   // data and b-tree pages
    std::uint16_t count = 0;      // data pages: record slots
    std::uint16_t length = 0;     // b-tree pages: bytes in use
    std::uint8_t level = 0;       // b-tree pages: 0 = leaf
    std::uint8_t indexId = 0;     // b-tree pages
};

enum class Kind {
    Records,   // garbage over the records of data pages, slot array kept
    BTree,     // garbage over the nodes of leaf b-tree pages, page header kept
    Count,     // record count in a data page header raised past the slot array's room
    ZeroPage,  // a whole data page zeroed
    // A system table's leaf b-tree pages zeroed (by default those of RDB$INDEX_SEGMENTS' index):
    // every read through that index fails with "wrong page type", so the server's backup stops
    // in the definitions, even metadata-only, while natural scans of every table still read.
    // (Garbage over those pages instead killed the whole server on most system indexes.)
    SystemBTree,
};

// RDB$INDEX_SEGMENTS: its index is read by the backup's first steps and by no attach.
inline constexpr std::uint16_t kIndexSegmentsRelation = 3;

std::string_view kindName(Kind kind);
std::optional<Kind> kindFromName(std::string_view name);
// The kinds that damage user tables, which the server's own repair gets through; not SystemBTree,
// after which the server's backup cannot run at all.
std::vector<Kind> allKinds();

class DamageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Page access to one database file: page size from the header page, ODS 12 only.
class DatabaseFile {
public:
    explicit DatabaseFile(const std::filesystem::path& path);

    std::uint32_t pageSize() const { return pageSize_; }
    std::uint32_t pageCount() const { return pageCount_; }
    std::vector<std::uint8_t> readPage(std::uint32_t number) const;
    void writePage(std::uint32_t number, const std::vector<std::uint8_t>& page) const;
    std::vector<PageInfo> pages() const;

private:
    std::filesystem::path path_;
    std::uint32_t pageSize_ = 0;
    std::uint32_t pageCount_ = 0;
};

PageInfo describePage(std::uint32_t number, const std::vector<std::uint8_t>& page);

struct DamageOptions {
    Kind kind = Kind::Records;
    unsigned pages = 1;                   // how many pages to damage
    std::optional<std::uint16_t> relation; // only pages of this relation (default: any user table)
    std::uint32_t seed = 1;               // garbage is reproducible for a given seed
};

// Damages the file in place and returns the numbers of the pages it changed.
// Throws DamageError when the file has no page that fits.
std::vector<std::uint32_t> damage(const std::filesystem::path& path, const DamageOptions& options);

// The header page's on-disk structure version: the major at offset 18, whose high bit marks a
// file made by Firebird (as against InterBase), the minor at offset 64.
struct OdsVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    bool firebird = false;
    bool operator==(const OdsVersion&) const = default;
};

OdsVersion readOdsVersion(const std::filesystem::path& path);

// Sets the version in place, keeping the Firebird mark: the file then reads as one written by
// another server version. Changes those four bytes only.
void setOdsVersion(const std::filesystem::path& path, std::uint16_t major, std::uint16_t minor);

}  // namespace fbdamage
