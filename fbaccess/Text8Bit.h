// Text between the program (UTF-8) and the client library (the current locale's 8-bit
// encoding, as chosen by setlocale(LC_ALL, "") at start-up). Lengths are always bytes.
#pragma once

#include <string>
#include <string_view>

// The encoding the client library's text is in: nl_langinfo(CODESET) of the current locale.
std::string LocalCodeset();

// UTF-8 to the locale's encoding; a character the encoding lacks becomes '?'.
std::string ToLocal8Bit(std::string_view utf8);

// The locale's encoding to UTF-8; a byte sequence that does not decode becomes '?'.
std::string FromLocal8Bit(std::string_view bytes);
