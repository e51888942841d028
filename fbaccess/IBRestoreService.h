// The server's restore action: one or more backup files into one or more new database files.
#pragma once

#include "IBServiceManager.h"
#include "OptionSet.h"

enum class TRestoreOption : uint8_t {
    DeactivateIndexes,
    NoShadow,
    NoValidityCheck,
    OneRelationAtATime,
    Replace,
    CreateNewDB,
    UseAllSpace,
    ValidationCheck,
};
using TRestoreOptions = TOptionSet<TRestoreOption>;

class TIBRestoreService : public TIBBackupRestoreService {
public:
    TIBRestoreService();

    // Lines "path" or "path=length"; blank lines are ignored.
    TParamList& DatabaseName() noexcept { return FDatabaseName; }
    const TParamList& DatabaseName() const noexcept { return FDatabaseName; }
    void SetDatabaseName(const TParamList& Value) { FDatabaseName.Assign(Value); }
    TParamList& BackupFile() noexcept { return FBackupFile; }
    const TParamList& BackupFile() const noexcept { return FBackupFile; }
    void SetBackupFile(const TParamList& Value) { FBackupFile.Assign(Value); }
    TRestoreOptions Options() const noexcept { return FOptions; }
    void SetOptions(TRestoreOptions Value) noexcept { FOptions = Value; }
    int32_t PageSize() const noexcept { return FPageSize; }
    void SetPageSize(int32_t Value) noexcept { FPageSize = Value; }
    int32_t PageBuffers() const noexcept { return FPageBuffers; }
    void SetPageBuffers(int32_t Value) noexcept { FPageBuffers = Value; }

protected:
    void PrepareStartParams() override;

private:
    TParamList FDatabaseName;
    TParamList FBackupFile;
    TRestoreOptions FOptions;
    int32_t FPageSize = 0;
    int32_t FPageBuffers = 0;
};
