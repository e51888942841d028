#pragma once
// The server's refusal of a file whose on-disk structure (ODS) it does not support, and which
// releases write each structure: an operator knows a file by the server version that made it,
// not by its ODS number.

#include <optional>
#include <string>
#include <string_view>

namespace tovanel {

struct OdsVersion {
    unsigned major = 0;
    unsigned minor = 0;
    bool operator==(const OdsVersion&) const = default;
};

// What a refusal says; a version the message does not state in the form "X.Y" is absent.
struct OdsRefusal {
    std::optional<OdsVersion> found;      // the file's structure
    std::optional<OdsVersion> supported;  // the server's own
};

// Reads "unsupported on-disk structure for file <path>; found X.Y, support A.B" (the pattern in
// any ASCII case); none when the message holds no such refusal.
std::optional<OdsRefusal> ParseOdsRefusal(std::string_view message);

// The releases that write this structure, in Portuguese ("Firebird 2.0 a 2.5"); none for a
// version no release ever wrote.
std::optional<std::string> OdsWriters(OdsVersion version);

// "11.0"
std::string OdsText(OdsVersion version);

}  // namespace tovanel
