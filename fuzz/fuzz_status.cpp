// StatusHasCode and StatusMessage over status vectors of any shape: any type words, any codes,
// clusters cut off by the end of the vector. StatusHasCode never reads past the vector's 20
// words; StatusMessage leaves the vector as it was and returns UTF-8 whatever the message
// lines hold. Argument addresses always point at real texts, as the client's do.
#include "FuzzSupport.h"

#include <array>
#include <cstring>
#include <deque>

namespace {

using fuzzsupport::Require;

// Texts the vector's argument words point to; they live until the next input.
std::deque<std::string> gTexts;

ISC_STATUS TextAddress(FuzzedDataProvider& input)
{
    const std::string& text = gTexts.emplace_back(input.ConsumeRandomLengthString(300));
    return reinterpret_cast<ISC_STATUS>(text.c_str());
}

// A terminated vector of whole clusters, as the client writes them: any type words and codes,
// and text words that are real addresses of texts from the input.
std::array<ISC_STATUS, ISC_STATUS_LENGTH> VectorFrom(FuzzedDataProvider& input)
{
    std::array<ISC_STATUS, ISC_STATUS_LENGTH> vector{};
    const std::size_t usable = ISC_STATUS_LENGTH - 1;  // the last word stays the end
    std::size_t i = 0;
    while (input.remaining_bytes() > 0) {
        const auto type = static_cast<ISC_STATUS>(input.ConsumeIntegralInRange(0, 24));
        const std::size_t words = type == isc_arg_cstring ? 3 : 2;
        if (type == isc_arg_end || i + words > usable)
            break;
        vector[i++] = type;
        switch (type) {
        case isc_arg_string:
        case isc_arg_interpreted:
        case isc_arg_sql_state:
            vector[i++] = TextAddress(input);
            break;
        case isc_arg_cstring: {
            const ISC_STATUS address = TextAddress(input);
            vector[i++] = static_cast<ISC_STATUS>(std::strlen(reinterpret_cast<const char*>(address)));
            vector[i++] = address;
            break;
        }
        default:
            // Small codes have message texts; any other number is a code without one.
            vector[i++] = input.ConsumeBool() ? input.ConsumeIntegralInRange(0, 3)
                                              : static_cast<ISC_STATUS>(input.ConsumeIntegral<int32_t>());
            break;
        }
    }
    return vector;
}

// Twenty words of any value: StatusHasCode reads no address, so no word needs to be one, and
// the vector need not end before its last word.
std::array<ISC_STATUS, ISC_STATUS_LENGTH> RawVectorFrom(FuzzedDataProvider& input)
{
    std::array<ISC_STATUS, ISC_STATUS_LENGTH> vector{};
    for (ISC_STATUS& word : vector)
        word = input.ConsumeBool() ? input.ConsumeIntegralInRange(0, 5)
                                   : static_cast<ISC_STATUS>(input.ConsumeIntegral<int64_t>());
    return vector;
}

void CheckStatusHasCode(FuzzedDataProvider& input)
{
    const auto vector = RawVectorFrom(input);
    std::memcpy(ThreadStatusVector(), vector.data(), sizeof(ISC_STATUS) * vector.size());
    const auto code = static_cast<ISC_STATUS>(input.ConsumeIntegral<int32_t>());
    const bool found = StatusHasCode({code, 335544741, 335544726, 335544727});
    // A vector whose word 0 ends it holds nothing.
    if (vector[0] == isc_arg_end)
        Require(!found, "an empty vector holds no code");
}

void CheckStatusMessage(FuzzedDataProvider& input)
{
    // Message texts of any bytes for the codes the vector may name.
    for (int n = input.ConsumeIntegralInRange(0, 3); n > 0; --n) {
        const auto code = static_cast<ISC_STATUS>(input.ConsumeIntegralInRange(0, 3));
        fakeclient::SetMessage(code, input.ConsumeRandomLengthString(400));
    }
    auto vector = VectorFrom(input);
    const auto before = vector;
    const std::string text = StatusMessage(vector.data());
    Require(vector == before, "StatusMessage leaves the vector as it was");
    Require(fuzzsupport::IsValidUtf8(text), "the message is UTF-8");

    std::memcpy(ThreadStatusVector(), vector.data(), sizeof(ISC_STATUS) * vector.size());
    try {
        RaiseStatusError();
    } catch (const EIBInterBaseError& error) {
        Require(error.Message() == text, "the raised text is the status message");
    } catch (const EIBInterBaseRoleError& error) {
        Require(error.Message() == text, "the raised text is the status message");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    fakeclient::Reset();
    gTexts.clear();
    if (input.ConsumeBool())
        CheckStatusHasCode(input);
    else
        CheckStatusMessage(input);
    fakeclient::Reset();
    std::memset(ThreadStatusVector(), 0, sizeof(ISC_STATUS) * ISC_STATUS_LENGTH);
    return 0;
}
