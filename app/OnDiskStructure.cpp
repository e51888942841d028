#include "OnDiskStructure.h"

#include <charconv>

#include "AsciiCase.h"

namespace tovanel {
namespace {

constexpr std::string_view kRefusalPattern = "UNSUPPORTED ON-DISK STRUCTURE";
constexpr std::string_view kFound = "; FOUND ";
constexpr std::string_view kSupport = ", SUPPORT ";

// Reads "<digits>.<digits>" at the start of `text` and moves past it; a number too large for
// its type is as malformed as a missing one.
std::optional<OdsVersion> ReadVersion(std::string_view& text) {
    OdsVersion version;
    const char* end = text.data() + text.size();
    auto [afterMajor, majorError] = std::from_chars(text.data(), end, version.major);
    if (majorError != std::errc() || afterMajor == end || *afterMajor != '.') return std::nullopt;
    auto [afterMinor, minorError] = std::from_chars(afterMajor + 1, end, version.minor);
    if (minorError != std::errc()) return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(afterMinor - text.data()));
    return version;
}

// The versions follow the file name, which may itself hold "; found ": the last one counts.
// Only the refusal's own line is read.
std::string_view RefusalTail(std::string_view folded, std::size_t patternAt) {
    std::string_view line = folded.substr(patternAt);
    line = line.substr(0, line.find_first_of("\r\n"));
    const std::size_t found = line.rfind(kFound);
    return found == std::string_view::npos ? std::string_view() : line.substr(found + kFound.size());
}

}  // namespace

std::optional<OdsRefusal> ParseOdsRefusal(std::string_view message) {
    const std::string folded = AsciiUpper(message);
    const std::size_t at = folded.find(kRefusalPattern);
    if (at == std::string::npos) return std::nullopt;

    OdsRefusal refusal;
    std::string_view tail = RefusalTail(folded, at);
    refusal.found = ReadVersion(tail);
    if (refusal.found && tail.starts_with(kSupport)) {
        tail.remove_prefix(kSupport.size());
        refusal.supported = ReadVersion(tail);
    }
    return refusal;
}

std::optional<std::string> OdsWriters(OdsVersion version) {
    if (version.major == 0) return std::nullopt;
    if (version.major < 8) return "InterBase anterior ao 5";
    if (version.major <= 10) return "InterBase 5 a 6 ou Firebird 1.x";
    if (version.major == 11) return "Firebird 2.0 a 2.5";
    if (version.major == 12) return "Firebird 3";
    if (version.major == 13 && version.minor == 0) return "Firebird 4";
    if (version.major == 13 && version.minor == 1) return "Firebird 5";
    return "Firebird posterior ao 5";
}

std::string OdsText(OdsVersion version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor);
}

}  // namespace tovanel
