#pragma once
// The checks that keep rows the rescue cannot vouch for out of the rescued tables. A damaged
// record can read back without an error and still be garbled; what gave every garbled row away
// on our damaged copies, with no genuine row flagged: NULL in a required column, a length its
// column cannot hold, bytes its character set does not define, control bytes in text, a blob
// that delivers fewer bytes than its info states, and one key with different bytes. Rows that
// fail a check go to the quarantine, never away.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovanel {

enum class TextCharset { None, Octets, Ascii, Utf8, Win1252, Other };

// RDB$CHARACTER_SET_NAME as the system tables give it (blank-padded, any case).
TextCharset CharsetNamed(std::string_view name);

enum class ColumnKind { Text, TextBlob, Blob, Other };

struct ColumnShape {
    std::string name;
    ColumnKind kind = ColumnKind::Other;
    bool required = false;       // NOT NULL, or part of the primary key
    std::uint32_t maxChars = 0;  // text: its declared length in characters
    TextCharset charset = TextCharset::None;
};

enum class Doubt {
    NamedByValidation,
    SecondReadFailed,
    SecondReadDiffers,
    NullInRequired,
    TooLong,
    InvalidInCharset,
    ControlBytes,
    NotUtf8InUtf8NoneColumn,
    BlobLengthDiffers,
    DuplicateKey,
    RefusedByNewDatabase,
};

// The reason as the report and the quarantine table's reason column give it.
std::string_view DoubtText(Doubt doubt);
std::string_view DoubtCode(Doubt doubt);

bool IsValidUtf8(std::string_view bytes);
// A byte below 0x20 other than TAB, LF, CR.
bool HasControlBytes(std::string_view bytes);
// 0x81 0x8D 0x8F 0x90 0x9D: the bytes WIN1252 leaves undefined.
bool HasBytesUndefinedInWin1252(std::string_view bytes);

// Characters of text in its character set (UTF-8: lead bytes; single-byte sets: bytes), trailing
// blanks of a CHAR's padding not counted. Nothing for multi-byte sets this program does not know.
std::optional<std::uint64_t> CharacterCount(TextCharset charset, std::string_view bytes);

// One column value of a row: NULL is nothing. Text of a NONE column is not judged here (see
// NoneColumnProfile); text blobs are judged like text without a length limit.
std::optional<Doubt> CheckValue(const ColumnShape& column, const std::optional<std::string>& value);

// A blob read on its own: the length its info stated against the bytes delivered.
std::optional<Doubt> CheckBlobLength(std::uint64_t statedLength, std::uint64_t deliveredLength);

// Whether a NONE column holds UTF-8 text: decided from its values with bytes over 0x7F. Only a
// column that clearly holds UTF-8 can flag the values that are not; in a column of single-byte
// text the signal cannot apply, which the report says instead of guessing.
class NoneColumnProfile {
public:
    enum class Verdict { Undecided, Utf8, SingleByte };

    void Add(std::string_view value);
    Verdict Decide() const;
    std::uint64_t ValidMultibyte() const noexcept { return validMultibyte_; }
    std::uint64_t Invalid() const noexcept { return invalid_; }

    // At least this many valid multi-byte values, and at most one invalid value in twenty, make a
    // UTF-8 column.
    static constexpr std::uint64_t kUtf8Evidence = 8;
    static constexpr std::uint64_t kUtf8InvalidShare = 20;

private:
    std::uint64_t validMultibyte_ = 0;
    std::uint64_t invalid_ = 0;
};

// Rows met twice under one key: an identical copy is dropped, different bytes put both in doubt.
class DuplicateKeys {
public:
    enum class Seen { First, SameBytes, DifferentBytes };
    struct Answer {
        Seen seen = Seen::First;
        std::uint64_t earlierRecord = 0;  // the row met first under this key
    };
    Answer Add(const std::string& key, const std::string& rowBytes, std::uint64_t recordNumber);

private:
    struct Earlier {
        std::string bytes;
        std::uint64_t record;
    };
    std::map<std::string, Earlier> seen_;
};

}  // namespace tovanel
