#include "IBRestoreService.h"

TIBRestoreService::TIBRestoreService()
{
    FOptions.Include(TRestoreOption::CreateNewDB);
    FPageSize = 4096;
}

void TIBRestoreService::PrepareStartParams()
{
    // Each member's bit moves up by eight places in the options word.
    const int32_t options = FOptions.Bits() << 8;
    RecordAction(isc_action_svc_restore);
    FStartParams = TBlockWriter();
    FStartParams.Byte(isc_action_svc_restore);
    AddStartParam(options, isc_spb_options);
    if (FVerbose)
        FStartParams.Byte(isc_spb_verbose);
    if (FPageSize > 0)
        AddStartParam(FPageSize, isc_spb_res_page_size);
    if (FPageBuffers > 0)
        AddStartParam(FPageBuffers, isc_spb_res_buffers);
    AddFileParams(FBackupFile.Lines(), isc_spb_bkp_file, isc_spb_bkp_length);
    AddFileParams(FDatabaseName.Lines(), isc_spb_dbname, isc_spb_res_length);
}
