#include "IBBackupService.h"

void TIBBackupService::PrepareStartParams()
{
    if (FDatabaseName.empty())
        RaiseClientError(ceStartParamsError);
    // Each member's bit is its flag in the options word.
    const int32_t options = FOptions.Bits();
    RecordAction(isc_action_svc_backup);
    FStartParams = TBlockWriter();
    FStartParams.Byte(isc_action_svc_backup);
    AddStartParam(FDatabaseName, isc_spb_dbname);
    AddStartParam(options, isc_spb_options);
    if (FVerbose)
        FStartParams.Byte(isc_spb_verbose);
    if (FBlockingFactor > 0)
        AddStartParam(FBlockingFactor, isc_spb_bkp_factor);
    AddFileParams(FBackupFile.Lines(), isc_spb_bkp_file, isc_spb_bkp_length);
    AddStartParam(FSkipData, isc_spb_bkp_skip_data);
}
