#include "IBValidationService.h"

namespace {

// "Summary of validation errors": the server's report of a validation that found errors.
constexpr ISC_STATUS kValidationSummary = 335740952;

int32_t FirstOptionsWord(TValidateOptions options)
{
    int32_t word = 0;
    if (options.Contains(TValidateOption::SweepDB))
        word |= isc_spb_rpr_sweep_db;
    if (options.Contains(TValidateOption::ValidateDB))
        word |= isc_spb_rpr_validate_db;
    return word;
}

int32_t SecondOptionsWord(TValidateOptions options)
{
    int32_t word = 0;
    if (options.Contains(TValidateOption::LimboTransactions))
        word |= isc_spb_rpr_list_limbo_trans;
    if (options.Contains(TValidateOption::CheckDB))
        word |= isc_spb_rpr_check_db;
    if (options.Contains(TValidateOption::IgnoreChecksum))
        word |= isc_spb_rpr_ignore_checksum;
    if (options.Contains(TValidateOption::KillShadows))
        word |= isc_spb_rpr_kill_shadows;
    if (options.Contains(TValidateOption::MendDB))
        word |= isc_spb_rpr_mend_db;
    if (options.Contains(TValidateOption::ValidateFull)) {
        word |= isc_spb_rpr_full;
        if (!options.Contains(TValidateOption::MendDB))
            word |= isc_spb_rpr_validate_db;
    }
    return word;
}

}  // namespace

void TIBValidationService::PrepareStartParams()
{
    RecordAction(isc_action_svc_repair);
    if (FDatabaseName.empty())
        RaiseClientError(ceStartParamsError);
    const int32_t first = FirstOptionsWord(FOptions);
    FStartParams = TBlockWriter();
    FStartParams.Byte(isc_action_svc_repair);
    AddStartParam(FDatabaseName, isc_spb_dbname);
    if (first > 0)
        AddStartParam(first, isc_spb_options);
    const int32_t second = SecondOptionsWord(FOptions);
    if (second > 0)
        AddStartParam(second, isc_spb_options);
}

bool TIBValidationService::IsReportStatus(const ISC_STATUS* Status) const
{
    return Status[0] == isc_arg_gds && Status[1] == kValidationSummary;
}

bool TIBValidationService::IsHeadOnlyReport(const ISC_STATUS* Status) const
{
    return IsReportStatus(Status) && Status[2] == isc_arg_end;
}
