#include "IBServerInfoService.h"

#include "Text8Bit.h"

namespace {

// The answer's little-endian integers; the client's isc_vax_integer reads the same bytes.
uint32_t LittleEndian(std::string_view bytes)
{
    uint32_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        value = (value << 8) | static_cast<uint8_t>(bytes[i]);
    return value;
}

class AnswerReader {
public:
    explicit AnswerReader(std::string_view answer) : FAnswer(answer) {}

    uint8_t Byte() { return static_cast<uint8_t>(Take(1)[0]); }
    int32_t Int32() { return static_cast<int32_t>(LittleEndian(Take(4))); }
    std::string_view Text16() { return Take(LittleEndian(Take(2))); }

private:
    std::string_view Take(std::size_t count)
    {
        if (count > FAnswer.size() - FPos)
            RaiseClientError(ceOutputParsingError);
        const std::string_view piece = FAnswer.substr(FPos, count);
        FPos += count;
        return piece;
    }

    std::string_view FAnswer;
    std::size_t FPos = 0;
};

}  // namespace

TAttachedDatabases ParseAttachedDatabases(std::string_view answer)
{
    AnswerReader reader(answer);
    if (reader.Byte() != isc_info_svc_svr_db_info)
        RaiseClientError(ceOutputParsingError);
    TAttachedDatabases result;
    for (;;) {
        switch (reader.Byte()) {
        case isc_spb_num_att: result.Attachments = reader.Int32(); break;
        case isc_spb_num_db: result.Databases = reader.Int32(); break;
        case isc_spb_dbname: result.Names.push_back(FromLocal8Bit(reader.Text16())); break;
        case isc_info_flag_end: return result;
        default: RaiseClientError(ceOutputParsingError);
        }
    }
}

TAttachedDatabases TIBServerInfoService::AttachedDatabases()
{
    CheckActive();
    if (!Active())
        RaiseClientError(ceServiceNotAttached);
    FQueryParams.assign(1, static_cast<char>(isc_info_svc_svr_db_info));
    RunServiceQuery();
    return ParseAttachedDatabases(Answer());
}
