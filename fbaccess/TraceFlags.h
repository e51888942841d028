// Trace categories shared by the database connection and the services: a set of ten members,
// bit n for the member of ordinal n. The program never enables tracing; the flags are kept so the
// components' stored settings have somewhere to go.
#pragma once

#include <cstdint>
#include <initializer_list>

enum TTraceFlag : uint8_t {
    tfQPrepare,
    tfQExecute,
    tfQFetch,
    tfError,
    tfStmt,
    tfConnect,
    tfTransact,
    tfBlob,
    tfService,
    tfMisc,
};

class TTraceFlags {
public:
    constexpr TTraceFlags() = default;
    constexpr TTraceFlags(std::initializer_list<TTraceFlag> members)
    {
        for (TTraceFlag m : members)
            FBits = static_cast<uint16_t>(FBits | Bit(m));
    }
    constexpr bool Contains(TTraceFlag m) const { return (FBits & Bit(m)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr uint16_t Bits() const { return FBits; }
    friend constexpr bool operator==(TTraceFlags, TTraceFlags) = default;

private:
    static constexpr uint16_t Bit(TTraceFlag m) { return static_cast<uint16_t>(1u << static_cast<unsigned>(m)); }
    uint16_t FBits = 0;
};
