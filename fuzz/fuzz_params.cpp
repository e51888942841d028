// BuildDPB and BuildAttachSPB over parameter lines of any text, reached the way the program
// reaches them: through the attach of a database connection and of a service, against the
// fake client. A line that cannot be encoded is refused before anything is sent; whatever is
// sent is a well-formed block whose every length field matches its bytes.
#include "FuzzSupport.h"
#include "IBDatabase.h"
#include "IBServiceManager.h"

namespace {

using fuzzsupport::Require;

TParamList LinesFrom(FuzzedDataProvider& input)
{
    TParamList lines;
    for (int n = input.ConsumeIntegralInRange(0, 6); n > 0 && input.remaining_bytes() > 0; --n)
        lines.Add(input.ConsumeRandomLengthString(600));
    return lines;
}

// Items after the header: code, one length byte, that many bytes; nothing left over. Answers
// the item codes in order.
std::vector<uint8_t> ItemsOf(std::string_view block, std::string_view header, const char* rule)
{
    Require(block.starts_with(header), rule);
    std::vector<uint8_t> codes;
    std::size_t at = header.size();
    while (at < block.size()) {
        Require(at + 2 <= block.size(), rule);
        codes.push_back(static_cast<uint8_t>(block[at]));
        const auto length = static_cast<uint8_t>(block[at + 1]);
        at += 2 + length;
        Require(at <= block.size(), rule);
    }
    return codes;
}

void CheckAttachBlock(const TParamList& lines)
{
    fakeclient::Reset();
    TIBControlAndQueryService service;
    service.SetServerName("localhost");
    service.SetLoginPrompt(false);
    service.SetParams(lines);
    try {
        service.Attach();
    } catch (const Exception&) {
        Require(fakeclient::CallsTo("isc_service_attach").empty(), "a refused attach block is not sent");
        return;
    }
    const auto calls = fakeclient::CallsTo("isc_service_attach");
    Require(calls.size() == 1, "one attach");
    const std::string& spb = calls[0].Bytes("spb");
    Require(static_cast<std::size_t>(calls[0].Number("spb_length")) == spb.size(), "the length is the block's");
    for (uint8_t code : ItemsOf(spb, std::string_view("\x02\x02", 2), "the attach block is well-formed"))
        Require(code == isc_spb_user_name || code == isc_spb_password || code == 75,
                "only the credentials and the instance name are sent");
    service.Detach();
}

void CheckDatabaseBlock(const TParamList& lines)
{
    fakeclient::Reset();
    TIBDatabase database;
    database.SetLoginPrompt(false);
    database.SetDatabaseName("localhost:/data/banco.fdb");
    database.SetParams(lines);
    try {
        database.SetConnected(true);
    } catch (const Exception&) {
        Require(fakeclient::CallsTo("isc_attach_database").empty(), "a refused DPB is not sent");
        return;
    }
    const auto calls = fakeclient::CallsTo("isc_attach_database");
    Require(calls.size() == 1, "one attach");
    const std::string& dpb = calls[0].Bytes("dpb");
    Require(static_cast<std::size_t>(calls[0].Number("dpb_length")) == dpb.size(), "the length is the block's");
    ItemsOf(dpb, std::string_view("\x01", 1), "the DPB is well-formed");
    database.SetConnected(false);
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
    const TParamList lines = LinesFrom(input);
    CheckAttachBlock(lines);
    CheckDatabaseBlock(lines);
    fakeclient::Reset();
    return 0;
}
