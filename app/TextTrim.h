#pragma once
// Trimming as the input check counts it: every character with a code of 32 or below (space and
// the control characters) goes from both ends, nothing else. Works on UTF-8 bytes unchanged,
// since no byte of a multi-byte character is below 128.

#include <string>
#include <string_view>

namespace tovanel {

std::string_view TrimLowCodes(std::string_view text);

inline bool IsBlankAfterTrim(std::string_view text) {
    return TrimLowCodes(text).empty();
}

}  // namespace tovanel
