// The server's online validation of one database: it runs while others are attached and sends
// its findings as ordinary output lines, table by table. It checks no system tables and no
// orphan pages, fixes nothing, and ends with success even when it found errors.
#pragma once

#include "IBServiceManager.h"

#include <string>

class TIBOnlineValidationService : public TIBControlAndQueryService {
public:
    const std::string& DatabaseName() const noexcept { return FDatabaseName; }
    void SetDatabaseName(const std::string& Value) { FDatabaseName = Value; }

protected:
    void PrepareStartParams() override;

private:
    std::string FDatabaseName;
};
