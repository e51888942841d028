#include "TextTrim.h"

namespace tovanel {

namespace {

bool IsLowCode(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

}  // namespace

std::string_view TrimLowCodes(std::string_view text) {
    while (!text.empty() && IsLowCode(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsLowCode(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace tovanel
