// The server's backup action: one database file into one or more backup files.
#pragma once

#include "IBServiceManager.h"
#include "OptionSet.h"

#include <string>

enum class TBackupOption : uint8_t {
    IgnoreChecksums,
    IgnoreLimbo,
    MetadataOnly,
    NoGarbageCollection,
    OldMetadataDesc,
    NonTransportable,
    ConvertExtTables,
};
using TBackupOptions = TOptionSet<TBackupOption>;

class TIBBackupService : public TIBBackupRestoreService {
public:
    const std::string& DatabaseName() const noexcept { return FDatabaseName; }
    void SetDatabaseName(const std::string& Value) { FDatabaseName = Value; }
    TBackupOptions Options() const noexcept { return FOptions; }
    void SetOptions(TBackupOptions Value) noexcept { FOptions = Value; }
    // Lines "path" or "path=length"; blank lines are ignored.
    TParamList& BackupFile() noexcept { return FBackupFile; }
    const TParamList& BackupFile() const noexcept { return FBackupFile; }
    void SetBackupFile(const TParamList& Value) { FBackupFile.Assign(Value); }
    int32_t BlockingFactor() const noexcept { return FBlockingFactor; }
    void SetBlockingFactor(int32_t Value) noexcept { FBlockingFactor = Value; }
    // The tables whose data the backup leaves out: a regular expression of table names (the
    // server's SIMILAR TO syntax); empty for none.
    const std::string& SkipData() const noexcept { return FSkipData; }
    void SetSkipData(const std::string& Value) { FSkipData = Value; }

protected:
    void PrepareStartParams() override;

private:
    std::string FDatabaseName;
    TBackupOptions FOptions;
    TParamList FBackupFile;
    int32_t FBlockingFactor = 0;
    std::string FSkipData;
};
