// The columns of a statement's row, or its input parameters: the XSQLDA the client library
// fills or reads, described once at prepare, and one message buffer that holds every value and
// null flag. Values are read and written by index with typed accessors; NULL is std::optional.
// Asking for a type the field does not have is a misuse (EIBClientError ceTypeMismatch); a
// value that does not fit is ceValueOutOfRange. Nothing is converted silently: integers widen,
// scaled numbers stay integers with their scale, text stays the bytes of its character set.
#pragma once

#include "SqlValues.h"

#include <ibase.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TSqlType : uint8_t {
    Text,       // CHAR: fixed length, padded
    Varying,    // VARCHAR: two length bytes, then the bytes
    Short,      // SMALLINT, or NUMERIC/DECIMAL stored in 16 bits
    Long,       // INTEGER, or scaled in 32 bits
    Int64,      // BIGINT, or scaled in 64 bits
    Float,
    Double,
    Timestamp,
    Date,
    Time,
    Blob,
    Array,
    Boolean,
    Null,       // a parameter of "? is null"
    Unknown,
};

// Character-set ids of the server (RDB$CHARACTER_SET_ID) used by the program.
namespace charset {
inline constexpr int16_t None = 0;
inline constexpr int16_t Octets = 1;
inline constexpr int16_t Ascii = 2;
inline constexpr int16_t UnicodeFss = 3;
inline constexpr int16_t Utf8 = 4;
inline constexpr int16_t Iso8859_1 = 21;
inline constexpr int16_t Win1252 = 53;
}  // namespace charset

// One column or parameter as described by the server, and where its bytes are in the message.
struct TSqlField {
    TSqlType type = TSqlType::Unknown;
    int16_t sqlType = 0;   // the client's type code without the null bit
    int16_t scale = 0;
    int16_t subType = 0;   // blob subtype; numeric kind; for text the character set (low byte)
    int16_t length = 0;    // bytes of the value (for VARCHAR without its two length bytes)
    bool nullable = false; // as described; every field of a message can carry NULL anyway
    std::string name;      // column or parameter name
    std::string relation;  // table of a column, when the server says
    std::string alias;
    std::size_t offset = 0;     // of the value in the message buffer
    std::size_t nullOffset = 0; // of the null flag (a short, -1 for NULL)

    // For CHAR and VARCHAR: the character set; 0 otherwise.
    int16_t CharacterSet() const noexcept;
    // Same type, length, scale and subtype (character set for text): a value's bytes mean the
    // same in both.
    bool SameShape(const TSqlField& other) const noexcept;
    // For messages, e.g. "VARCHAR(20 bytes, character set 53)", "NUMERIC in INTEGER, scale -2".
    std::string TypeName() const;
};

// Hands out the blob id to store in a target for a blob id read from a source (or NULL).
using TBlobIdMapper = std::function<std::optional<ISC_QUAD>(std::size_t column, const ISC_QUAD& sourceId)>;

class TSqlMessage {
public:
    // kind names the fields in misuse messages ("Column" or "Parameter").
    explicit TSqlMessage(std::string kind);
    TSqlMessage(TSqlMessage&&) noexcept = default;
    TSqlMessage& operator=(TSqlMessage&&) noexcept = default;

    // The XSQLDA to hand to a describe call: room for at least capacity fields.
    XSQLDA* Descriptor(std::size_t capacity);
    XSQLDA* Descriptor() noexcept { return FCount == 0 ? nullptr : Area(); }
    const XSQLDA* Descriptor() const noexcept { return FCount == 0 ? nullptr : Area(); }
    // Fields the last describe filled in (may exceed the capacity given: describe again).
    std::size_t Described() const noexcept;
    // Reads the described fields once, lays out the message buffer, points each XSQLVAR at it
    // and marks every field as able to carry NULL. Every value starts as NULL.
    void Bind();

    std::size_t Count() const noexcept { return FCount; }
    const TSqlField& Field(std::size_t index) const;
    const std::vector<TSqlField>& Fields() const noexcept { return FFields; }

    bool IsNull(std::size_t index) const;
    void SetNull(std::size_t index);
    // Every field NULL.
    void Clear() noexcept;

    // Integers of scale 0; narrower reads of wider fields check the range.
    std::optional<int16_t> GetInt16(std::size_t index) const;
    std::optional<int32_t> GetInt32(std::size_t index) const;
    std::optional<int64_t> GetInt64(std::size_t index) const;
    // Any integer field, scaled or not, exactly.
    std::optional<TScaledInt> GetScaled(std::size_t index) const;
    std::optional<float> GetFloat(std::size_t index) const;
    // FLOAT or DOUBLE PRECISION (a float widens exactly).
    std::optional<double> GetDouble(std::size_t index) const;
    // CHAR (with its padding) or VARCHAR: the bytes in the field's character set.
    std::optional<std::string> GetText(std::size_t index) const;
    std::optional<bool> GetBoolean(std::size_t index) const;
    std::optional<TSqlDate> GetDate(std::size_t index) const;
    std::optional<TSqlTime> GetTime(std::size_t index) const;
    std::optional<TSqlTimestamp> GetTimestamp(std::size_t index) const;
    std::optional<ISC_QUAD> GetBlobId(std::size_t index) const;
    // RDB$DB_KEY: an 8-byte CHAR of character set OCTETS.
    std::optional<TDbKey> GetDbKey(std::size_t index) const;

    // An integer into any integer field; for a scaled field the integer is scaled up exactly.
    void SetInt64(std::size_t index, int64_t value);
    // Into any integer field: rescaled exactly, refused when digits would be lost or it overflows.
    void SetScaled(std::size_t index, const TScaledInt& value);
    // Into FLOAT (refused when the value is not exactly a float) or DOUBLE PRECISION.
    void SetDouble(std::size_t index, double value);
    // Into CHAR (padded with blanks) or VARCHAR; refused when longer than the field's bytes.
    void SetText(std::size_t index, std::string_view bytes);
    void SetBoolean(std::size_t index, bool value);
    void SetDate(std::size_t index, const TSqlDate& value);
    void SetTime(std::size_t index, const TSqlTime& value);
    void SetTimestamp(std::size_t index, const TSqlTimestamp& value);
    void SetBlobId(std::size_t index, const ISC_QUAD& value);
    void SetDbKey(std::size_t index, const TDbKey& value);

    // The value's bytes as the client library holds them (VARCHAR: length bytes included).
    std::string_view RawValue(std::size_t index) const;
    std::string_view Buffer() const noexcept { return {FBuffer.data(), FBuffer.size()}; }

    // Copies source's values into this message's fields first, first+1, ... without conversion:
    // each pair must have the same shape (ceRowShapeMismatch otherwise, nothing copied). Blob
    // ids pass through blobs when given (ids of another database mean nothing here), unchanged
    // otherwise. Where both messages have exactly the same fields the buffer moves in one copy.
    // count: only source's first count fields (a row whose select list goes on past them).
    void CopyFrom(const TSqlMessage& source, std::size_t first = 0, const TBlobIdMapper& blobs = {},
                  std::size_t count = SIZE_MAX);
    // The same for count fields of source from sourceFirst on, blob ids unchanged.
    void CopyFields(const TSqlMessage& source, std::size_t sourceFirst, std::size_t count, std::size_t first);

private:
    XSQLDA* Area() const noexcept { return reinterpret_cast<XSQLDA*>(FArea.get()); }
    const TSqlField& Typed(std::size_t index, std::initializer_list<TSqlType> types, const char* wanted) const;
    [[noreturn]] void RaiseOutOfRange(std::size_t index, const std::string& value) const;
    const char* ValueAt(const TSqlField& field) const noexcept { return FBuffer.data() + field.offset; }
    char* ValueAt(const TSqlField& field) noexcept { return FBuffer.data() + field.offset; }
    bool NullAt(const TSqlField& field) const noexcept;
    void MarkNotNull(const TSqlField& field) noexcept;
    void StoreInteger(std::size_t index, const TSqlField& field, int64_t raw);
    std::optional<int64_t> RawInteger(std::size_t index) const;
    template <typename T>
    std::optional<T> Narrow(std::size_t index) const;

    std::string FKind;
    std::unique_ptr<char[]> FArea;
    std::size_t FCapacity = 0;
    std::size_t FCount = 0;
    std::vector<TSqlField> FFields;
    std::vector<char> FBuffer;
};
