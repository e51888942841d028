#pragma once
// What a rescue tells the operator at its end: per table, rows saved, rows quarantined and why,
// records that could not be read, blobs lost, and which way the table was carried; then what
// could not be activated or carried over, and the time taken. The same figures go to the log
// (Portuguese lines) and to the JSON report.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "RescueRowChecks.h"

namespace tovanel {

enum class CarriedBy { Backup, Pump, NotCarried };

struct TableRescue {
    std::string name;
    CarriedBy carriedBy = CarriedBy::Backup;
    std::uint64_t rowsSaved = 0;
    std::map<Doubt, std::uint64_t> quarantined;  // rows per first reason
    std::string quarantineTable;                 // empty when no row was quarantined
    std::uint64_t unreadableRecords = 0;
    std::uint64_t blobsLost = 0;
    std::uint64_t duplicateCopiesDropped = 0;
    std::uint64_t probes = 0;                    // direct fetches by key after the scan failed
    std::uint64_t probeTrips = 0;                // the round trips those fetches took
    double seconds = 0;                          // the pump's time for this table
    std::vector<std::string> notes;              // signals that could not apply, and similar

    std::uint64_t QuarantinedRows() const;
};

enum class RescueOutcome { NewDatabaseMade, Failed };

struct RescueReport {
    std::string original;
    std::string newDatabase;
    RescueOutcome outcome = RescueOutcome::Failed;
    std::string failure;                      // why the rescue failed, when it did
    bool serverDied = false;
    bool schemaFromSystemTables = false;      // the server's backup could not run at all
    std::vector<TableRescue> tables;
    std::vector<std::string> notActivated;    // indexes and constraints that could not be activated
    std::vector<std::string> notCarriedOver;  // schema objects the rescue could not rebuild
    double seconds = 0;
};

// The log lines of the report, in the window's style.
std::vector<std::string> ReportLines(const RescueReport& report);

// The report as JSON text (two-space indentation, UTF-8).
std::string ReportJson(const RescueReport& report);

}  // namespace tovanel
