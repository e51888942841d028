// The failure handler's rule choice over any message text, as a server may send it: a refusal
// whose versions are cut off, overlong or not numbers, any mix of the rules' patterns. The
// choice never reads past the text, asks for the server's accounts at most once (and only for
// the text that names them), logs its explanation as the box's lines joined, and the server's
// lines put back together give the message.
#include "ErrorPresentation.h"
#include "OnDiskStructure.h"

#include "AsciiCase.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

void Require(bool condition, const char* rule)
{
    if (!condition) {
        std::fprintf(stderr, "rule broken: %s\n", rule);
        std::abort();
    }
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i > 0 ? "\r\n" : "") + lines[i];
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string account = input.ConsumeRandomLengthString(40);
    const std::string message = input.ConsumeRemainingBytesAsString();

    int asked = 0;
    const tovanel::ChosenText chosen = tovanel::ChooseFailureText(message, [&] {
        ++asked;
        return std::vector<std::string>{account};
    });
    Require(asked <= 1, "the accounts are asked at most once");
    if (chosen.logLine) {
        std::string oneLine = chosen.box;
        std::replace(oneLine.begin(), oneLine.end(), '\r', ' ');
        Require(*chosen.logLine == oneLine, "the explanation's log line is the box's lines joined");
    } else {
        Require(asked == 0, "only a text that names the accounts asks for them");
    }
    const bool serverOff = AsciiUpper(message).find("UNABLE TO COMPLETE NETWORK REQUEST TO HOST") != std::string::npos;
    if (!serverOff && tovanel::ParseOdsRefusal(message))
        Require(chosen.box.starts_with("BD com estrutura em disco "), "a refusal of the structure is named as one");

    Require(Joined(tovanel::ServerLines(message)) == message, "the server's lines are the message cut at CR LF");
    return 0;
}
