#include "ServerLimits.h"

#include "ByteBuffer.h"

void CheckUserNameLength(std::string_view userName, std::string_view what)
{
    if (userName.size() > kMaxUserNameBytes)
        RaiseValueTooLong(userName.size(), kMaxUserNameBytes, what);
}
