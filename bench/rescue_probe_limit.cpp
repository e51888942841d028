// The probing rule's limit measured: the same damaged database rescued with each limit of empty
// slots that ends a page's probes, printing per pumped table the rows saved, the probes and the
// pump's time. A limit that loses no row against the largest one, at the least cost, is the
// rule's default (RescueProbing.h).
//
//   bench_rescue_probe_limit DAMAGED.fdb NEW_DIRECTORY [--keys N] [LIMIT...]   (FIREBIRD,
//   ISC_USER and ISC_PASSWORD chosen as for tovanel-cli; default limits 8 16 32 64 128 480;
//   --keys: record numbers per round trip, default the pump's; --pump TABLE: that table is
//   pumped even where the validation finds nothing, for the pump's speed on a healthy table)

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "RescueJob.h"

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DAMAGED.fdb NEW_DIRECTORY [LIMIT...]\n", argv[0]);
        return 2;
    }
    std::vector<unsigned> limits;
    std::size_t keys = tovanel::PumpSettings{}.keysPerProbe;
    std::set<std::string> alsoPump;
    for (int i = 3; i < argc; ++i) {
        if (std::string(argv[i]) == "--keys" && i + 1 < argc)
            keys = std::stoul(argv[++i]);
        else if (std::string(argv[i]) == "--pump" && i + 1 < argc)
            alsoPump.insert(argv[++i]);
        else
            limits.push_back(static_cast<unsigned>(std::stoul(argv[i])));
    }
    if (limits.empty()) limits = {8, 16, 32, 64, 128, 480};
    const char* user = std::getenv("ISC_USER");
    const char* password = std::getenv("ISC_PASSWORD");
    for (const unsigned limit : limits) {
        tovanel::RescueRequest request;
        request.original = argv[1];
        request.newDatabase = std::string(argv[2]) + "/limit_" + std::to_string(limit) + ".fdb";
        request.login = {user ? user : "SYSDBA", password ? password : ""};
        request.pump.limits.emptySlotsEndPage = limit;
        request.pump.keysPerProbe = keys;
        request.alsoPump = alsoPump;
        const tovanel::RescueReport report = tovanel::RunRescue(request, {});
        std::printf("limit %u, %zu keys per round trip: %s, %.2f s\n", limit, keys,
                    report.outcome == tovanel::RescueOutcome::NewDatabaseMade ? "made" : report.failure.c_str(),
                    report.seconds);
        for (const auto& table : report.tables) {
            if (table.carriedBy != tovanel::CarriedBy::Pump) continue;
            std::printf("  %s: %llu rows, %llu quarantined, %llu unreadable, %llu probes in %llu round trips, %.2f s\n",
                        table.name.c_str(), static_cast<unsigned long long>(table.rowsSaved),
                        static_cast<unsigned long long>(table.QuarantinedRows()),
                        static_cast<unsigned long long>(table.unreadableRecords),
                        static_cast<unsigned long long>(table.probes),
                        static_cast<unsigned long long>(table.probeTrips), table.seconds);
        }
        std::remove(request.newDatabase.c_str());
    }
    return 0;
}
