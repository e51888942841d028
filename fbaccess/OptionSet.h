// A set of up to eight enumerators held in one byte: bit n for the member of ordinal n.
#pragma once

#include <cstdint>
#include <initializer_list>

template <typename Enum>
class TOptionSet {
public:
    constexpr TOptionSet() = default;
    constexpr TOptionSet(std::initializer_list<Enum> members)
    {
        for (Enum m : members)
            Include(m);
    }
    static constexpr TOptionSet FromBits(uint8_t bits)
    {
        TOptionSet s;
        s.FBits = bits;
        return s;
    }
    constexpr void Include(Enum m) { FBits = static_cast<uint8_t>(FBits | Bit(m)); }
    constexpr void Exclude(Enum m) { FBits = static_cast<uint8_t>(FBits & ~Bit(m)); }
    constexpr bool Contains(Enum m) const { return (FBits & Bit(m)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr uint8_t Bits() const { return FBits; }
    friend constexpr bool operator==(TOptionSet, TOptionSet) = default;

private:
    static constexpr uint8_t Bit(Enum m) { return static_cast<uint8_t>(1u << static_cast<unsigned>(m)); }
    uint8_t FBits = 0;
};
