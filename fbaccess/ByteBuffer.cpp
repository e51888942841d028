#include "ByteBuffer.h"

#include "IBErrors.h"

#include <algorithm>

void TByteBuffer::Resize(std::size_t newSize, std::size_t zeroFrom)
{
    FBytes.resize(newSize);
    FAllocated = true;
    if (zeroFrom < newSize)
        std::fill(FBytes.begin() + static_cast<std::ptrdiff_t>(zeroFrom), FBytes.end(), '\0');
}

void TByteBuffer::Release() noexcept
{
    FBytes.clear();
    FBytes.shrink_to_fit();
    FAllocated = false;
}

void TByteBuffer::Assign(std::string_view bytes)
{
    Resize(bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), FBytes.begin());
}

void RaiseValueTooLong(std::size_t length, std::size_t limit, std::string_view what)
{
    const TErrorArg args[] = {std::string(what.empty() ? "Parameter value" : what), static_cast<int64_t>(length),
                              static_cast<int64_t>(limit)};
    throw EIBClientError(ceUnknownError, 0, FormatErrorText("%s too long: %d bytes, at most %d allowed", args));
}

TBlockWriter& TBlockWriter::Byte(uint8_t value)
{
    FBlock += static_cast<char>(value);
    return *this;
}

TBlockWriter& TBlockWriter::Bytes(std::string_view bytes)
{
    FBlock.append(bytes);
    return *this;
}

TBlockWriter& TBlockWriter::Length8(std::size_t length)
{
    if (length > 0xFF)
        RaiseValueTooLong(length, 0xFF);
    return Byte(static_cast<uint8_t>(length));
}

TBlockWriter& TBlockWriter::Length16(std::size_t length)
{
    if (length > 0xFFFF)
        RaiseValueTooLong(length, 0xFFFF);
    return Int16(static_cast<int16_t>(static_cast<uint16_t>(length)));
}

TBlockWriter& TBlockWriter::Int16(int16_t value)
{
    const auto bits = static_cast<uint16_t>(value);
    return Byte(static_cast<uint8_t>(bits & 0xFF)).Byte(static_cast<uint8_t>(bits >> 8));
}

TBlockWriter& TBlockWriter::Int32(int32_t value)
{
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        Byte(static_cast<uint8_t>((bits >> shift) & 0xFF));
    return *this;
}

TBlockWriter& TBlockWriter::Item8(uint8_t code, std::string_view value)
{
    if (value.size() > 0xFF)
        RaiseValueTooLong(value.size(), 0xFF);
    return Byte(code).Length8(value.size()).Bytes(value);
}

TBlockWriter& TBlockWriter::Item16(uint8_t code, std::string_view value)
{
    if (value.size() > 0xFFFF)
        RaiseValueTooLong(value.size(), 0xFFFF);
    return Byte(code).Length16(value.size()).Bytes(value);
}
