// The server's repair action on one database file: validation, sweep and mend.
#pragma once

#include "IBServiceManager.h"
#include "OptionSet.h"

#include <string>

enum class TValidateOption : uint8_t {
    LimboTransactions,
    CheckDB,
    IgnoreChecksum,
    KillShadows,
    MendDB,
    SweepDB,
    ValidateDB,
    ValidateFull,
};
using TValidateOptions = TOptionSet<TValidateOption>;

class TIBValidationService : public TIBControlAndQueryService {
public:
    const std::string& DatabaseName() const noexcept { return FDatabaseName; }
    void SetDatabaseName(const std::string& Value) { FDatabaseName = Value; }
    TValidateOptions Options() const noexcept { return FOptions; }
    void SetOptions(TValidateOptions Value) noexcept { FOptions = Value; }

protected:
    void PrepareStartParams() override;
    // The summary of what validation found, which this server reports as a failed status.
    bool IsReportStatus(const ISC_STATUS* Status) const override;
    bool IsHeadOnlyReport(const ISC_STATUS* Status) const override;

private:
    std::string FDatabaseName;
    TValidateOptions FOptions;
};
