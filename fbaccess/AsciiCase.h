// Case folding of the ASCII letters only: every other byte, including the bytes of accented
// letters in UTF-8, stays as it is. Every name comparison of the access layer and of the
// console uses it.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

constexpr char AsciiLowerChar(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char AsciiUpperChar(char c) noexcept
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string AsciiLower(std::string_view text)
{
    std::string out(text);
    std::ranges::transform(out, out.begin(), AsciiLowerChar);
    return out;
}

inline std::string AsciiUpper(std::string_view text)
{
    std::string out(text);
    std::ranges::transform(out, out.begin(), AsciiUpperChar);
    return out;
}

inline bool AsciiEqualNoCase(std::string_view a, std::string_view b) noexcept
{
    return std::ranges::equal(a, b, {}, AsciiLowerChar, AsciiLowerChar);
}
