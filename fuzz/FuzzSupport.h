// Shared pieces of the fuzz targets: the scripted fake client is the library the access layer
// talks to, and every target turns its input into answers of that library.
#pragma once

#include "FakeClient.h"
#include "ClientLibrary.h"
#include "IBErrors.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzzsupport {

// As the program starts: the 8-bit encoding from the locale, and the client library bound
// (here the fake, already loaded with the target).
inline void Init()
{
    std::setlocale(LC_ALL, "");
    GDSLibraryInstance()->CheckIBLoaded();
}

// A broken rule is a crash, so libFuzzer keeps the input that shows it.
inline void Require(bool condition, const char* rule)
{
    if (!condition) {
        std::fprintf(stderr, "rule broken: %s\n", rule);
        std::abort();
    }
}

inline bool IsValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        uint32_t point = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            point = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            point = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            point = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            point = (point << 6) | (next & 0x3F);
        }
        static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (point < kSmallest[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

// A status vector answer for the fake: 1, the code, then argument clusters chosen by the input
// (numbers, and texts that the fake turns into addresses of kept strings), then 0.
inline fakeclient::Reply FailureFrom(FuzzedDataProvider& input)
{
    // Often the validation's report, which the validation service reads as output lines.
    constexpr ISC_STATUS kValidationSummary = 335740952;
    const ISC_STATUS code = input.ConsumeBool() ? kValidationSummary : input.ConsumeIntegral<int32_t>();
    std::vector<fakeclient::StatusWord> arguments;
    const int clusters = input.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < clusters; ++i) {
        switch (input.ConsumeIntegralInRange(0, 2)) {
        case 0:
            arguments.emplace_back(static_cast<ISC_STATUS>(isc_arg_number));
            arguments.emplace_back(static_cast<ISC_STATUS>(input.ConsumeIntegral<int32_t>()));
            break;
        case 1:
            arguments.emplace_back(static_cast<ISC_STATUS>(isc_arg_string));
            arguments.emplace_back(input.ConsumeRandomLengthString(64));
            break;
        default:
            arguments.emplace_back(static_cast<ISC_STATUS>(isc_arg_cstring));
            arguments.emplace_back(input.ConsumeRandomLengthString(64));
            break;
        }
    }
    if (input.ConsumeBool())
        fakeclient::SetMessage(code, input.ConsumeRandomLengthString(200));
    return fakeclient::Failure(code, std::move(arguments));
}

}  // namespace fuzzsupport
