#include "IBBlob.h"

#include "IBDatabase.h"
#include "IBSqlError.h"
#include "IBTransaction.h"

#include <algorithm>

namespace {

// The largest segment the client library moves in one call.
constexpr std::size_t kSegmentSize = 65535;

// One open blob; closed (read) or cancelled (write not finished) when it dies, failures dropped.
class TBlobHandle {
public:
    explicit TBlobHandle(TIBDatabase& database) : FDatabase(database) {}
    ~TBlobHandle()
    {
        if (FHandle == 0)
            return;
        ISC_STATUS status[ISC_STATUS_LENGTH] = {};
        try {
            if (FWriting)
                FDatabase.GDSLibrary().isc_cancel_blob(status, &FHandle);
            else
                FDatabase.GDSLibrary().isc_close_blob(status, &FHandle);
        } catch (...) {
        }
    }
    TBlobHandle(const TBlobHandle&) = delete;
    TBlobHandle& operator=(const TBlobHandle&) = delete;

    isc_blob_handle* Address() noexcept { return &FHandle; }
    void SetWriting() noexcept { FWriting = true; }
    void Close()
    {
        const ISC_STATUS result = FDatabase.GDSLibrary().isc_close_blob(ThreadStatusVector(), &FHandle);
        if (result == 0)
            FHandle = 0;
        CheckSql<EIBBlobError>(FDatabase, result);
    }

private:
    TIBDatabase& FDatabase;
    isc_blob_handle FHandle = 0;
    bool FWriting = false;
};

int64_t LittleEndian(const char* bytes, std::size_t count) noexcept
{
    uint64_t value = 0;
    for (std::size_t i = 0; i < count && i < 8; ++i)
        value |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    return static_cast<int64_t>(value);
}

TBlobInfo ParseBlobInfo(const char* reply, std::size_t size)
{
    TBlobInfo info;
    std::size_t at = 0;
    while (at + 3 <= size && reply[at] != isc_info_end) {
        const char item = reply[at];
        const auto length = static_cast<std::size_t>(LittleEndian(reply + at + 1, 2));
        if (at + 3 + length > size)
            break;
        const int64_t value = LittleEndian(reply + at + 3, length);
        if (item == isc_info_blob_total_length)
            info.totalLength = value;
        else if (item == isc_info_blob_num_segments)
            info.segments = value;
        else if (item == isc_info_blob_max_segment)
            info.maxSegment = value;
        at += 3 + length;
    }
    return info;
}

}  // namespace

TBlobContents ReadBlob(TIBTransaction& transaction, const ISC_QUAD& id, std::size_t limit)
{
    transaction.CheckActive();
    TIBDatabase& database = transaction.Database();
    IGDSLibrary& library = database.GDSLibrary();
    TBlobHandle blob(database);
    ISC_QUAD blobId = id;
    CheckSql<EIBBlobError>(database, library.isc_open_blob2(ThreadStatusVector(), database.HandleAddress(),
                                                            transaction.HandleAddress(), blob.Address(), &blobId, 0,
                                                            nullptr));
    const char items[] = {isc_info_blob_total_length, isc_info_blob_num_segments, isc_info_blob_max_segment};
    char reply[64] = {};
    CheckSql<EIBBlobError>(database, library.isc_blob_info(ThreadStatusVector(), blob.Address(), sizeof items, items,
                                                           sizeof reply, reply));
    TBlobContents contents;
    contents.info = ParseBlobInfo(reply, sizeof reply);
    if (contents.info.totalLength && *contents.info.totalLength > static_cast<int64_t>(limit))
        throw EIBBlobLimitError(static_cast<std::size_t>(*contents.info.totalLength), limit);
    std::string segment(kSegmentSize, '\0');
    bool inSegment = false;
    for (;;) {
        unsigned short actual = 0;
        const ISC_STATUS result = library.isc_get_segment(ThreadStatusVector(), blob.Address(), &actual,
                                                          static_cast<unsigned short>(segment.size()), segment.data());
        if (result == isc_segstr_eof)
            break;
        if (result != 0 && result != isc_segment)
            RaiseSqlError<EIBBlobError>(database);
        if (contents.bytes.size() + actual > limit)
            throw EIBBlobLimitError(contents.bytes.size() + actual, limit);
        contents.bytes.append(segment.data(), actual);
        if (!inSegment)
            ++contents.segmentsRead;
        inSegment = result == isc_segment;  // the rest of this segment comes with the next call
    }
    blob.Close();
    return contents;
}

ISC_QUAD WriteBlob(TIBTransaction& transaction, std::string_view bytes, std::size_t limit)
{
    if (bytes.size() > limit)
        throw EIBBlobLimitError(bytes.size(), limit);
    transaction.CheckActive();
    TIBDatabase& database = transaction.Database();
    IGDSLibrary& library = database.GDSLibrary();
    TBlobHandle blob(database);
    ISC_QUAD id{};
    CheckSql<EIBBlobError>(database, library.isc_create_blob2(ThreadStatusVector(), database.HandleAddress(),
                                                              transaction.HandleAddress(), blob.Address(), &id, 0,
                                                              nullptr));
    blob.SetWriting();
    for (std::size_t at = 0; at < bytes.size(); at += kSegmentSize) {
        const std::size_t length = std::min(kSegmentSize, bytes.size() - at);
        CheckSql<EIBBlobError>(database, library.isc_put_segment(ThreadStatusVector(), blob.Address(),
                                                                 static_cast<unsigned short>(length),
                                                                 bytes.data() + at));
    }
    blob.Close();
    return id;
}

TBlobIdMapper CopyBlobs(TIBTransaction& source, TIBTransaction& target, std::size_t limit)
{
    return [&source, &target, limit](std::size_t, const ISC_QUAD& id) -> std::optional<ISC_QUAD> {
        return WriteBlob(target, ReadBlob(source, id, limit).bytes, limit);
    };
}
