// Limits of the server that the client library does not enforce itself.
#pragma once

#include <cstddef>
#include <string_view>

// The longest user name a Firebird 3 server takes, in bytes of the 8-bit text sent. A longer one
// makes the server stop on an internal assertion during the login, which ends every attachment
// of every user; so it is refused before anything is sent.
inline constexpr std::size_t kMaxUserNameBytes = 31;

// Raises EIBClientError ("<what> too long: N bytes, at most 31 allowed") for a longer name.
void CheckUserNameLength(std::string_view userName, std::string_view what);
