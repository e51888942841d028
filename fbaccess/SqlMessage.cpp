#include "SqlMessage.h"

#include "IBErrors.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

TSqlType TypeOf(int16_t sqlType) noexcept
{
    switch (sqlType) {
    case SQL_TEXT: return TSqlType::Text;
    case SQL_VARYING: return TSqlType::Varying;
    case SQL_SHORT: return TSqlType::Short;
    case SQL_LONG: return TSqlType::Long;
    case SQL_INT64: return TSqlType::Int64;
    case SQL_FLOAT: return TSqlType::Float;
    case SQL_DOUBLE: return TSqlType::Double;
    case SQL_TIMESTAMP: return TSqlType::Timestamp;
    case SQL_TYPE_DATE: return TSqlType::Date;
    case SQL_TYPE_TIME: return TSqlType::Time;
    case SQL_BLOB: return TSqlType::Blob;
    case SQL_ARRAY: return TSqlType::Array;
    case SQL_BOOLEAN: return TSqlType::Boolean;
    case SQL_NULL: return TSqlType::Null;
    default: return TSqlType::Unknown;
    }
}

// Bytes the value takes in the message, and the alignment the client library expects for it.
std::size_t DataSize(const TSqlField& field) noexcept
{
    const auto length = static_cast<std::size_t>(field.length < 0 ? 0 : field.length);
    switch (field.type) {
    case TSqlType::Varying: return length + sizeof(ISC_USHORT);
    case TSqlType::Null: return 0;
    default: return length;
    }
}

std::size_t Alignment(const TSqlField& field) noexcept
{
    switch (field.type) {
    case TSqlType::Text:
    case TSqlType::Boolean:
    case TSqlType::Null: return 1;
    case TSqlType::Varying:
    case TSqlType::Short: return 2;
    case TSqlType::Int64:
    case TSqlType::Double: return 8;
    default: return 4;
    }
}

std::size_t AlignUp(std::size_t offset, std::size_t alignment) noexcept
{
    return (offset + alignment - 1) / alignment * alignment;
}

std::string Counted(const ISC_SCHAR* text, ISC_SHORT length)
{
    const auto size = static_cast<std::size_t>(std::clamp<ISC_SHORT>(length, 0, 32));
    return std::string(text, strnlen(text, size));
}

template <typename T>
T Load(const char* at) noexcept
{
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
void Store(char* at, T value) noexcept
{
    std::memcpy(at, &value, sizeof value);
}

bool IsInteger(TSqlType type) noexcept
{
    return type == TSqlType::Short || type == TSqlType::Long || type == TSqlType::Int64;
}

// 10^n for 0 <= n <= 18.
int64_t PowerOfTen(int n) noexcept
{
    int64_t value = 1;
    while (n-- > 0)
        value *= 10;
    return value;
}

}  // namespace

int16_t TSqlField::CharacterSet() const noexcept
{
    return type == TSqlType::Text || type == TSqlType::Varying ? static_cast<int16_t>(subType & 0xFF) : 0;
}

bool TSqlField::SameShape(const TSqlField& other) const noexcept
{
    if (type != other.type || length != other.length)
        return false;
    switch (type) {
    case TSqlType::Text:
    case TSqlType::Varying: return CharacterSet() == other.CharacterSet();
    case TSqlType::Short:
    case TSqlType::Long:
    case TSqlType::Int64: return scale == other.scale;
    case TSqlType::Blob: return subType == other.subType;
    default: return true;
    }
}

std::string TSqlField::TypeName() const
{
    const std::string bytes = std::to_string(length);
    switch (type) {
    case TSqlType::Text: return "CHAR(" + bytes + " bytes, character set " + std::to_string(CharacterSet()) + ")";
    case TSqlType::Varying:
        return "VARCHAR(" + bytes + " bytes, character set " + std::to_string(CharacterSet()) + ")";
    case TSqlType::Short:
    case TSqlType::Long:
    case TSqlType::Int64: {
        const char* storage = type == TSqlType::Short ? "SMALLINT" : type == TSqlType::Long ? "INTEGER" : "BIGINT";
        if (scale == 0)
            return storage;
        return std::string("NUMERIC in ") + storage + ", scale " + std::to_string(scale);
    }
    case TSqlType::Float: return "FLOAT";
    case TSqlType::Double: return "DOUBLE PRECISION";
    case TSqlType::Timestamp: return "TIMESTAMP";
    case TSqlType::Date: return "DATE";
    case TSqlType::Time: return "TIME";
    case TSqlType::Blob: return "BLOB SUB_TYPE " + std::to_string(subType);
    case TSqlType::Array: return "ARRAY";
    case TSqlType::Boolean: return "BOOLEAN";
    case TSqlType::Null: return "NULL";
    case TSqlType::Unknown: break;
    }
    return "type " + std::to_string(sqlType);
}

TSqlMessage::TSqlMessage(std::string kind) : FKind(std::move(kind)) {}

XSQLDA* TSqlMessage::Descriptor(std::size_t capacity)
{
    if (capacity == 0)
        capacity = 1;
    if (capacity > FCapacity) {
        FArea = std::make_unique<char[]>(XSQLDA_LENGTH(capacity));
        FCapacity = capacity;
    }
    XSQLDA* area = Area();
    area->version = SQLDA_VERSION1;
    area->sqln = static_cast<ISC_SHORT>(FCapacity);
    area->sqld = 0;
    return area;
}

std::size_t TSqlMessage::Described() const noexcept
{
    return FArea ? static_cast<std::size_t>(std::max<ISC_SHORT>(Area()->sqld, 0)) : 0;
}

void TSqlMessage::Bind()
{
    FCount = std::min(Described(), FCapacity);
    FFields.assign(FCount, TSqlField{});
    std::size_t offset = 0;
    for (std::size_t i = 0; i < FCount; ++i) {
        const XSQLVAR& var = Area()->sqlvar[i];
        TSqlField& field = FFields[i];
        field.sqlType = static_cast<int16_t>(var.sqltype & ~1);
        field.type = TypeOf(field.sqlType);
        field.scale = var.sqlscale;
        field.subType = var.sqlsubtype;
        field.length = var.sqllen;
        field.nullable = (var.sqltype & 1) != 0;
        field.name = Counted(var.sqlname, var.sqlname_length);
        field.relation = Counted(var.relname, var.relname_length);
        field.alias = Counted(var.aliasname, var.aliasname_length);
        field.offset = AlignUp(offset, Alignment(field));
        field.nullOffset = AlignUp(field.offset + DataSize(field), alignof(ISC_SHORT));
        offset = field.nullOffset + sizeof(ISC_SHORT);
    }
    FBuffer.assign(AlignUp(offset, 8), 0);
    for (std::size_t i = 0; i < FCount; ++i) {
        XSQLVAR& var = Area()->sqlvar[i];
        var.sqltype = static_cast<ISC_SHORT>(FFields[i].sqlType | 1);
        var.sqldata = FBuffer.data() + FFields[i].offset;
        var.sqlind = reinterpret_cast<ISC_SHORT*>(FBuffer.data() + FFields[i].nullOffset);
    }
    Clear();
}

const TSqlField& TSqlMessage::Field(std::size_t index) const
{
    if (index >= FCount)
        RaiseClientError(ceIndexOutOfRange,
                         {FKind, static_cast<int64_t>(index), static_cast<int64_t>(FCount)});
    return FFields[index];
}

bool TSqlMessage::NullAt(const TSqlField& field) const noexcept
{
    return Load<ISC_SHORT>(FBuffer.data() + field.nullOffset) < 0;
}

void TSqlMessage::MarkNotNull(const TSqlField& field) noexcept
{
    Store<ISC_SHORT>(FBuffer.data() + field.nullOffset, 0);
}

bool TSqlMessage::IsNull(std::size_t index) const
{
    return NullAt(Field(index));
}

void TSqlMessage::SetNull(std::size_t index)
{
    Store<ISC_SHORT>(FBuffer.data() + Field(index).nullOffset, -1);
}

void TSqlMessage::Clear() noexcept
{
    for (const TSqlField& field : FFields)
        Store<ISC_SHORT>(FBuffer.data() + field.nullOffset, -1);
}

const TSqlField& TSqlMessage::Typed(std::size_t index, std::initializer_list<TSqlType> types,
                                    const char* wanted) const
{
    const TSqlField& field = Field(index);
    for (TSqlType type : types)
        if (field.type == type)
            return field;
    RaiseClientError(ceTypeMismatch,
                     {FKind, static_cast<int64_t>(index), field.name, field.TypeName(), std::string(wanted)});
}

void TSqlMessage::RaiseOutOfRange(std::size_t index, const std::string& value) const
{
    const TSqlField& field = FFields[index];
    RaiseClientError(ceValueOutOfRange, {value, FKind, static_cast<int64_t>(index), field.name, field.TypeName()});
}

std::optional<int64_t> TSqlMessage::RawInteger(std::size_t index) const
{
    const TSqlField& field = Typed(index, {TSqlType::Short, TSqlType::Long, TSqlType::Int64}, "an integer");
    if (NullAt(field))
        return std::nullopt;
    switch (field.type) {
    case TSqlType::Short: return Load<int16_t>(ValueAt(field));
    case TSqlType::Long: return Load<int32_t>(ValueAt(field));
    default: return Load<int64_t>(ValueAt(field));
    }
}

template <typename T>
std::optional<T> TSqlMessage::Narrow(std::size_t index) const
{
    const TSqlField& field = Field(index);
    if (IsInteger(field.type) && field.scale != 0)
        RaiseClientError(ceTypeMismatch, {FKind, static_cast<int64_t>(index), field.name, field.TypeName(),
                                          std::string("an integer of scale 0")});
    const std::optional<int64_t> raw = RawInteger(index);
    if (!raw)
        return std::nullopt;
    if (*raw < std::numeric_limits<T>::min() || *raw > std::numeric_limits<T>::max())
        RaiseOutOfRange(index, std::to_string(*raw));
    return static_cast<T>(*raw);
}

std::optional<int16_t> TSqlMessage::GetInt16(std::size_t index) const
{
    return Narrow<int16_t>(index);
}

std::optional<int32_t> TSqlMessage::GetInt32(std::size_t index) const
{
    return Narrow<int32_t>(index);
}

std::optional<int64_t> TSqlMessage::GetInt64(std::size_t index) const
{
    return Narrow<int64_t>(index);
}

std::optional<TScaledInt> TSqlMessage::GetScaled(std::size_t index) const
{
    const std::optional<int64_t> raw = RawInteger(index);
    if (!raw)
        return std::nullopt;
    return TScaledInt{*raw, FFields[index].scale};
}

std::optional<float> TSqlMessage::GetFloat(std::size_t index) const
{
    const TSqlField& field = Typed(index, {TSqlType::Float}, "FLOAT");
    if (NullAt(field))
        return std::nullopt;
    return Load<float>(ValueAt(field));
}

std::optional<double> TSqlMessage::GetDouble(std::size_t index) const
{
    const TSqlField& field = Typed(index, {TSqlType::Float, TSqlType::Double}, "DOUBLE PRECISION");
    if (NullAt(field))
        return std::nullopt;
    if (field.type == TSqlType::Float)
        return static_cast<double>(Load<float>(ValueAt(field)));
    return Load<double>(ValueAt(field));
}

std::optional<std::string> TSqlMessage::GetText(std::size_t index) const
{
    const TSqlField& field = Typed(index, {TSqlType::Text, TSqlType::Varying}, "text");
    if (NullAt(field))
        return std::nullopt;
    if (field.type == TSqlType::Text)
        return std::string(ValueAt(field), static_cast<std::size_t>(field.length));
    // A length beyond the field's room is kept to the room: never read past the value.
    const auto length = std::min<std::size_t>(Load<ISC_USHORT>(ValueAt(field)), static_cast<std::size_t>(field.length));
    return std::string(ValueAt(field) + sizeof(ISC_USHORT), length);
}

std::optional<bool> TSqlMessage::GetBoolean(std::size_t index) const
{
    const TSqlField& field = Typed(index, {TSqlType::Boolean}, "BOOLEAN");
    if (NullAt(field))
        return std::nullopt;
    return *ValueAt(field) != 0;
}

std::optional<TSqlDate> TSqlMessage::GetDate(std::size_t index) const
{
    const TSqlField& field = Typed(index, {TSqlType::Date}, "DATE");
    if (NullAt(field))
        return std::nullopt;
    return DecodeSqlDate(Load<ISC_DATE>(ValueAt(field)));
}

std::optional<TSqlTime> TSqlMessage::GetTime(std::size_t index) const
{
    const TSqlField& field = Typed(index, {TSqlType::Time}, "TIME");
    if (NullAt(field))
        return std::nullopt;
    return DecodeSqlTime(Load<ISC_TIME>(ValueAt(field)));
}

std::optional<TSqlTimestamp> TSqlMessage::GetTimestamp(std::size_t index) const
{
    const TSqlField& field = Typed(index, {TSqlType::Timestamp}, "TIMESTAMP");
    if (NullAt(field))
        return std::nullopt;
    return DecodeSqlTimestamp(Load<ISC_TIMESTAMP>(ValueAt(field)));
}

std::optional<ISC_QUAD> TSqlMessage::GetBlobId(std::size_t index) const
{
    const TSqlField& field = Typed(index, {TSqlType::Blob}, "a blob id");
    if (NullAt(field))
        return std::nullopt;
    return Load<ISC_QUAD>(ValueAt(field));
}

std::optional<TDbKey> TSqlMessage::GetDbKey(std::size_t index) const
{
    const TSqlField& field = Typed(index, {TSqlType::Text}, "a record key");
    if (field.length != 8)
        RaiseClientError(ceTypeMismatch, {FKind, static_cast<int64_t>(index), field.name, field.TypeName(),
                                          std::string("a record key")});
    if (NullAt(field))
        return std::nullopt;
    TDbKey key;
    std::memcpy(key.bytes.data(), ValueAt(field), key.bytes.size());
    return key;
}

void TSqlMessage::StoreInteger(std::size_t index, const TSqlField& field, int64_t raw)
{
    switch (field.type) {
    case TSqlType::Short:
        if (raw < std::numeric_limits<int16_t>::min() || raw > std::numeric_limits<int16_t>::max())
            RaiseOutOfRange(index, TScaledInt{raw, field.scale}.ToString());
        Store(ValueAt(field), static_cast<int16_t>(raw));
        break;
    case TSqlType::Long:
        if (raw < std::numeric_limits<int32_t>::min() || raw > std::numeric_limits<int32_t>::max())
            RaiseOutOfRange(index, TScaledInt{raw, field.scale}.ToString());
        Store(ValueAt(field), static_cast<int32_t>(raw));
        break;
    default: Store(ValueAt(field), raw); break;
    }
    MarkNotNull(field);
}

void TSqlMessage::SetInt64(std::size_t index, int64_t value)
{
    SetScaled(index, TScaledInt{value, 0});
}

void TSqlMessage::SetScaled(std::size_t index, const TScaledInt& value)
{
    const TSqlField& field = Typed(index, {TSqlType::Short, TSqlType::Long, TSqlType::Int64}, "an integer");
    int64_t raw = value.value;
    const int shift = value.scale - field.scale;  // > 0: more decimals wanted than given
    if (shift > 18 || shift < -18)
        RaiseOutOfRange(index, value.ToString());
    if (shift > 0) {
        const int64_t factor = PowerOfTen(shift);
        if (raw > std::numeric_limits<int64_t>::max() / factor || raw < std::numeric_limits<int64_t>::min() / factor)
            RaiseOutOfRange(index, value.ToString());
        raw *= factor;
    } else if (shift < 0) {
        const int64_t factor = PowerOfTen(-shift);
        if (raw % factor != 0)  // digits the field cannot hold
            RaiseOutOfRange(index, value.ToString());
        raw /= factor;
    }
    StoreInteger(index, field, raw);
}

void TSqlMessage::SetDouble(std::size_t index, double value)
{
    const TSqlField& field = Typed(index, {TSqlType::Float, TSqlType::Double}, "DOUBLE PRECISION");
    if (field.type == TSqlType::Float) {
        const auto narrowed = static_cast<float>(value);
        if (!std::isnan(value) && static_cast<double>(narrowed) != value) {
            char text[40];
            std::snprintf(text, sizeof text, "%.17g", value);
            RaiseOutOfRange(index, text);
        }
        Store(ValueAt(field), narrowed);
    } else {
        Store(ValueAt(field), value);
    }
    MarkNotNull(field);
}

void TSqlMessage::SetText(std::size_t index, std::string_view bytes)
{
    const TSqlField& field = Typed(index, {TSqlType::Text, TSqlType::Varying}, "text");
    const auto room = static_cast<std::size_t>(field.length);
    if (bytes.size() > room)
        RaiseOutOfRange(index, "of " + std::to_string(bytes.size()) + " bytes");
    char* at = ValueAt(field);
    if (field.type == TSqlType::Text) {
        std::memcpy(at, bytes.data(), bytes.size());
        std::memset(at + bytes.size(), ' ', room - bytes.size());
    } else {
        Store(at, static_cast<ISC_USHORT>(bytes.size()));
        std::memcpy(at + sizeof(ISC_USHORT), bytes.data(), bytes.size());
    }
    MarkNotNull(field);
}

void TSqlMessage::SetBoolean(std::size_t index, bool value)
{
    const TSqlField& field = Typed(index, {TSqlType::Boolean}, "BOOLEAN");
    *ValueAt(field) = value ? 1 : 0;
    MarkNotNull(field);
}

void TSqlMessage::SetDate(std::size_t index, const TSqlDate& value)
{
    const TSqlField& field = Typed(index, {TSqlType::Date}, "DATE");
    Store(ValueAt(field), EncodeSqlDate(value));
    MarkNotNull(field);
}

void TSqlMessage::SetTime(std::size_t index, const TSqlTime& value)
{
    const TSqlField& field = Typed(index, {TSqlType::Time}, "TIME");
    Store(ValueAt(field), EncodeSqlTime(value));
    MarkNotNull(field);
}

void TSqlMessage::SetTimestamp(std::size_t index, const TSqlTimestamp& value)
{
    const TSqlField& field = Typed(index, {TSqlType::Timestamp}, "TIMESTAMP");
    Store(ValueAt(field), EncodeSqlTimestamp(value));
    MarkNotNull(field);
}

void TSqlMessage::SetBlobId(std::size_t index, const ISC_QUAD& value)
{
    const TSqlField& field = Typed(index, {TSqlType::Blob}, "a blob id");
    Store(ValueAt(field), value);
    MarkNotNull(field);
}

void TSqlMessage::SetDbKey(std::size_t index, const TDbKey& value)
{
    SetText(index, std::string_view(reinterpret_cast<const char*>(value.bytes.data()), value.bytes.size()));
}

std::string_view TSqlMessage::RawValue(std::size_t index) const
{
    const TSqlField& field = Field(index);
    return {ValueAt(field), DataSize(field)};
}

void TSqlMessage::CopyFields(const TSqlMessage& source, std::size_t sourceFirst, std::size_t count,
                             std::size_t first)
{
    if (sourceFirst + count > source.Count() || first + count > FCount)
        RaiseClientError(ceRowShapeMismatch, {std::to_string(count) + " values from " + source.FKind + " " +
                                              std::to_string(sourceFirst) + " of " + std::to_string(source.Count()) +
                                              " do not fit from " + FKind + " " + std::to_string(first) + " of " +
                                              std::to_string(FCount)});
    for (std::size_t i = 0; i < count; ++i) {
        const TSqlField& from = source.FFields[sourceFirst + i];
        const TSqlField& to = FFields[first + i];
        if (!from.SameShape(to))
            RaiseClientError(ceRowShapeMismatch, {source.FKind + " " + std::to_string(sourceFirst + i) + " (" +
                                                  from.name + ") is " + from.TypeName() + ", " + FKind + " " +
                                                  std::to_string(first + i) + " (" + to.name + ") is " + to.TypeName()});
    }
    if (sourceFirst == 0 && first == 0 && count == FCount && count == source.Count() &&
        source.FBuffer.size() == FBuffer.size()) {
        std::memcpy(FBuffer.data(), source.FBuffer.data(), FBuffer.size());
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const TSqlField& from = source.FFields[sourceFirst + i];
        const TSqlField& to = FFields[first + i];
        std::memcpy(ValueAt(to), source.ValueAt(from), DataSize(from));
        Store(FBuffer.data() + to.nullOffset, Load<ISC_SHORT>(source.FBuffer.data() + from.nullOffset));
    }
}

void TSqlMessage::CopyFrom(const TSqlMessage& source, std::size_t first, const TBlobIdMapper& blobs,
                           std::size_t count)
{
    count = std::min(count, source.Count());
    CopyFields(source, 0, count, first);
    if (!blobs)
        return;
    for (std::size_t i = 0; i < count; ++i) {
        const TSqlField& to = FFields[first + i];
        if (to.type != TSqlType::Blob || NullAt(to))
            continue;
        const std::optional<ISC_QUAD> mapped = blobs(i, Load<ISC_QUAD>(ValueAt(to)));
        if (mapped)
            Store(ValueAt(to), *mapped);
        else
            Store<ISC_SHORT>(FBuffer.data() + to.nullOffset, -1);
    }
}
