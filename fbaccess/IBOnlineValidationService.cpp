#include "IBOnlineValidationService.h"

void TIBOnlineValidationService::PrepareStartParams()
{
    RecordAction(isc_action_svc_validate);
    if (FDatabaseName.empty())
        RaiseClientError(ceStartParamsError);
    FStartParams = TBlockWriter();
    FStartParams.Byte(isc_action_svc_validate);
    AddStartParam(FDatabaseName, isc_spb_dbname);
}
