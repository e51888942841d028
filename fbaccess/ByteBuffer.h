// Byte buffers handed to the client library, and the one writer that builds parameter blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A buffer that may be absent. Resize allocates when absent and zero-fills from a given offset
// to the new end; bytes before the offset keep their values.
class TByteBuffer {
public:
    void Resize(std::size_t newSize, std::size_t zeroFrom = 0);
    void Release() noexcept;
    bool Allocated() const noexcept { return FAllocated; }
    std::size_t Size() const noexcept { return FBytes.size(); }
    char* Data() noexcept { return FBytes.data(); }
    const char* Data() const noexcept { return FBytes.data(); }
    // Resizes to exactly the bytes and copies them in.
    void Assign(std::string_view bytes);
    std::string_view View() const noexcept { return {FBytes.data(), FBytes.size()}; }

private:
    std::vector<char> FBytes;
    bool FAllocated = false;
};

// Appends the pieces of a parameter block. Multi-byte integers are little-endian. A length
// that does not fit its field is refused with EIBClientError before anything is appended.
class TBlockWriter {
public:
    TBlockWriter& Byte(uint8_t value);
    TBlockWriter& Bytes(std::string_view bytes);
    // One length byte; refuses more than 255.
    TBlockWriter& Length8(std::size_t length);
    // Two length bytes; refuses more than 65535.
    TBlockWriter& Length16(std::size_t length);
    TBlockWriter& Int16(int16_t value);
    TBlockWriter& Int32(int32_t value);
    // code, one length byte, the bytes.
    TBlockWriter& Item8(uint8_t code, std::string_view value);
    // code, two length bytes, the bytes.
    TBlockWriter& Item16(uint8_t code, std::string_view value);

    const std::string& Block() const noexcept { return FBlock; }
    std::size_t Size() const noexcept { return FBlock.size(); }
    std::string Take() noexcept { return std::move(FBlock); }

private:
    std::string FBlock;
};

// Refusal of a length too large for its field (EIBClientError); what names the value when given.
[[noreturn]] void RaiseValueTooLong(std::size_t length, std::size_t limit, std::string_view what = {});
