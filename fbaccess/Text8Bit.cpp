#include "Text8Bit.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

struct TIconvCloser {
    void operator()(void* cd) const noexcept { iconv_close(static_cast<iconv_t>(cd)); }
};

bool IsUtf8(const std::string& codeset)
{
    return codeset == "UTF-8" || codeset == "utf8" || codeset == "UTF8";
}

// Length of the UTF-8 sequence that starts with lead (1 for a stray byte), so an
// unrepresentable character is replaced by one '?'.
std::size_t Utf8SequenceLength(unsigned char lead)
{
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    if (lead >= 0xE0)
        return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2)
        return 2;
    return 1;
}

// Converts with iconv; input that does not convert is replaced by '?' and skipped (a whole
// UTF-8 sequence when the source is UTF-8, else one byte).
std::string Convert(std::string_view input, const char* to, const char* from, bool fromUtf8)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(input);  // an unknown codeset: pass the bytes on unchanged
    const std::unique_ptr<void, TIconvCloser> guard(cd);

    std::string output;
    output.reserve(input.size() * 2 + 4);
    char buffer[1024];
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
        output.append(buffer, static_cast<std::size_t>(out - buffer));
        if (rc != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL: replace what cannot be converted and go on after it.
        std::size_t skip = fromUtf8 ? Utf8SequenceLength(static_cast<unsigned char>(*in)) : 1;
        if (skip > inLeft)
            skip = inLeft;
        output += '?';
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &out, &outLeft);
    output.append(buffer, static_cast<std::size_t>(out - buffer));
    return output;
}

// Length of the well-formed UTF-8 sequence at the start of text, 0 when there is none.
std::size_t WellFormedUtf8Length(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    const std::size_t length = Utf8SequenceLength(lead);
    if (length == 1 || length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    // No overlong forms, no surrogates, nothing above U+10FFFF.
    if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F) ||
        (lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F))
        return 0;
    return length;
}

// The text with every byte that is not part of a well-formed sequence replaced by '?'.
std::string ValidUtf8(std::string_view text)
{
    std::string output;
    output.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = WellFormedUtf8Length(text);
        if (length == 0) {
            output += '?';
            text.remove_prefix(1);
        } else {
            output.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return output;
}

}  // namespace

std::string LocalCodeset()
{
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && *codeset != '\0' ? codeset : "ANSI_X3.4-1968";
}

std::string ToLocal8Bit(std::string_view utf8)
{
    const std::string codeset = LocalCodeset();
    if (IsUtf8(codeset))
        return std::string(utf8);
    return Convert(utf8, codeset.c_str(), "UTF-8", true);
}

std::string FromLocal8Bit(std::string_view bytes)
{
    const std::string codeset = LocalCodeset();
    // The server's bytes need not be UTF-8 even where the locale says so (a file name, say).
    if (IsUtf8(codeset))
        return ValidUtf8(bytes);
    return Convert(bytes, "UTF-8", codeset.c_str(), false);
}
