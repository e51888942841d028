#pragma once
// Case folding of the ASCII letters only: every other byte, including the bytes of accented
// letters in UTF-8, stays as it is.

#include <string>
#include <string_view>

namespace tovanel {

inline std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

inline std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace tovanel
