// Blobs read whole and written whole, each through its own handle (closed or cancelled in a
// noexcept destructor), so a blob that cannot be read fails on its own (EIBBlobError) and the
// statement that delivered its id goes on fetching.
#pragma once

#include "SqlMessage.h"

#include <ibase.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TIBTransaction;

// What isc_blob_info says of a blob before it is read.
struct TBlobInfo {
    std::optional<int64_t> totalLength;
    std::optional<int64_t> segments;
    std::optional<int64_t> maxSegment;
};

struct TBlobContents {
    std::string bytes;
    TBlobInfo info;
    std::size_t segmentsRead = 0;  // segments delivered (a long segment read in pieces counts once)
    // Fewer or more bytes delivered than the blob's info stated: a garbled blob can read without
    // any error and still end early.
    bool LengthMismatch() const noexcept { return info.totalLength && *info.totalLength != static_cast<int64_t>(bytes.size()); }
};

// Reads the blob with this id in the transaction. More than limit bytes (stated or delivered)
// raises EIBBlobLimitError; a server failure raises EIBBlobError.
TBlobContents ReadBlob(TIBTransaction& transaction, const ISC_QUAD& id, std::size_t limit);

// Creates a blob holding bytes and returns its id, to be stored in a row of the same
// transaction. More than limit bytes raises EIBBlobLimitError before anything is sent.
ISC_QUAD WriteBlob(TIBTransaction& transaction, std::string_view bytes, std::size_t limit);

// The blob-id mapper for TSqlMessage::CopyFrom between two attachments: each blob read whole
// from source and written whole into target.
TBlobIdMapper CopyBlobs(TIBTransaction& source, TIBTransaction& target, std::size_t limit);
