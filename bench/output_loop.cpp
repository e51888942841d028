// The output loop's own cost: one verbose backup read line by line through the access layer
// (TIBBackupService, GetNextLine, as the repair reads it) and through a bare loop over the
// client's isc_service_query with the same request item and buffer size. Runs alternate, so a
// change of the machine's load falls on both alike.
//
//   bench_output_loop DATABASE BACKUP_FILE [RUNS]
//
// DATABASE is a path the local server opens; BACKUP_FILE a path the server may write (removed
// after every run). User and password come from ISC_USER and ISC_PASSWORD (default SYSDBA and
// ravenpike); FIREBIRD must point at the instance to reach, as for any client.
#include "BenchCommon.h"
#include "IBBackupService.h"

#include <dlfcn.h>
#include <ibase.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Credentials {
    std::string user = bench::EnvOr("ISC_USER", "SYSDBA");
    std::string password = bench::EnvOr("ISC_PASSWORD", "ravenpike");
};

struct RunResult {
    double seconds = 0;
    long lines = 0;
    long bytes = 0;
    double longestGap = 0;  // between two lines, as the client saw them
    long gapsOver100ms = 0;
};

class GapMeter {
public:
    void Line(bench::Clock::time_point now, RunResult& result) {
        if (started_) {
            const double gap = bench::SecondsBetween(last_, now);
            if (gap > result.longestGap) result.longestGap = gap;
            if (gap > 0.1) ++result.gapsOver100ms;
        }
        started_ = true;
        last_ = now;
    }

private:
    bool started_ = false;
    bench::Clock::time_point last_;
};

// ---- through the access layer, configured as the repair configures its backup ----------------

RunResult BackupThroughAccessLayer(const std::string& database, const std::string& backup,
                                   const Credentials& credentials) {
    RunResult result;
    GapMeter gaps;
    const auto start = bench::Clock::now();
    TIBBackupService service;
    service.SetServerName("localhost");
    service.SetProtocol(TProtocol::TCP);
    service.SetDatabaseName(database);
    service.BackupFile().Clear();
    service.BackupFile().Add(backup);
    service.Params().SetValue("user_name", credentials.user);
    service.Params().SetValue("password", credentials.password);
    service.SetLoginPrompt(false);
    service.SetVerbose(true);
    service.Attach();
    service.ServiceStart();
    std::string line = service.GetNextLine();
    while (!line.empty()) {
        gaps.Line(bench::Clock::now(), result);
        ++result.lines;
        result.bytes += static_cast<long>(line.size());
        line = service.GetNextLine();
    }
    service.SetActive(false);
    result.seconds = bench::SecondsBetween(start, bench::Clock::now());
    return result;
}

// ---- the bare loop over the client library ----------------------------------------------------

struct LibraryCloser {
    void operator()(void* library) const { ::dlclose(library); }
};

class BareClient {
public:
    BareClient() : library_(::dlopen("libfbclient.so.2", RTLD_NOW)) {
        if (!library_) throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
        Resolve(attach_, "isc_service_attach");
        Resolve(start_, "isc_service_start");
        Resolve(query_, "isc_service_query");
        Resolve(detach_, "isc_service_detach");
    }

    decltype(&::isc_service_attach) attach_ = nullptr;
    decltype(&::isc_service_start) start_ = nullptr;
    decltype(&::isc_service_query) query_ = nullptr;
    decltype(&::isc_service_detach) detach_ = nullptr;

private:
    template <class Function>
    void Resolve(Function& function, const char* name) {
        function = reinterpret_cast<Function>(::dlsym(library_.get(), name));
        if (!function) throw std::runtime_error(std::string("missing ") + name);
    }

    std::unique_ptr<void, LibraryCloser> library_;
};

void Check(ISC_STATUS result, const ISC_STATUS* status, const char* what) {
    if (result != 0) throw std::runtime_error(std::string(what) + " failed, code " + std::to_string(status[1]));
}

void AddText(std::string& block, char item, const std::string& text, bool wideLength) {
    block += item;
    block += static_cast<char>(text.size() & 0xFF);
    if (wideLength) block += static_cast<char>((text.size() >> 8) & 0xFF);
    block += text;
}

RunResult BackupThroughBareLoop(const BareClient& client, const std::string& database,
                                const std::string& backup, const Credentials& credentials) {
    RunResult result;
    GapMeter gaps;
    ISC_STATUS status[20] = {};
    const auto start = bench::Clock::now();

    std::string attachBlock{static_cast<char>(isc_spb_version), static_cast<char>(isc_spb_current_version)};
    AddText(attachBlock, isc_spb_user_name, credentials.user, false);
    AddText(attachBlock, isc_spb_password, credentials.password, false);
    const std::string serviceName = "localhost:service_mgr";
    isc_svc_handle handle = 0;
    Check(client.attach_(status, static_cast<unsigned short>(serviceName.size()), serviceName.c_str(), &handle,
                         static_cast<unsigned short>(attachBlock.size()), attachBlock.data()),
          status, "attach");

    // The same start block as the access layer's: database, options word 0, verbose, file.
    std::string startBlock{static_cast<char>(isc_action_svc_backup)};
    AddText(startBlock, isc_spb_dbname, database, true);
    startBlock += static_cast<char>(isc_spb_options);
    startBlock.append(4, '\0');
    startBlock += static_cast<char>(isc_spb_verbose);
    AddText(startBlock, isc_spb_bkp_file, backup, true);
    Check(client.start_(status, &handle, nullptr, static_cast<unsigned short>(startBlock.size()),
                        startBlock.data()),
          status, "start");

    const char request = isc_info_svc_line;
    std::vector<char> buffer(32000);
    for (;;) {
        Check(client.query_(status, &handle, nullptr, 0, nullptr, 1, &request,
                            static_cast<unsigned short>(buffer.size()), buffer.data()),
              status, "query");
        if (buffer[0] != isc_info_svc_line) throw std::runtime_error("unexpected answer");
        const long length = static_cast<unsigned char>(buffer[1]) | static_cast<unsigned char>(buffer[2]) << 8;
        if (length == 0) break;
        gaps.Line(bench::Clock::now(), result);
        ++result.lines;
        result.bytes += length;
    }
    Check(client.detach_(status, &handle), status, "detach");
    result.seconds = bench::SecondsBetween(start, bench::Clock::now());
    return result;
}

void Print(const char* loop, int run, const RunResult& result) {
    std::printf("%-12s run %d: %8.3f s, %ld lines, %ld bytes, longest gap between lines %.3f s, "
                "%ld gaps over 100 ms\n",
                loop, run, result.seconds, result.lines, result.bytes, result.longestGap, result.gapsOver100ms);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[]) try {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_output_loop DATABASE BACKUP_FILE [RUNS]\n");
        return 2;
    }
    const std::string database = argv[1];
    const std::string backup = argv[2];
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    const Credentials credentials;
    const BareClient client;

    // One untimed run of each warms the server's and the system's caches alike.
    bench::RemoveIfPresent(backup);
    BackupThroughAccessLayer(database, backup, credentials);
    bench::RemoveIfPresent(backup);
    BackupThroughBareLoop(client, database, backup, credentials);
    bench::RemoveIfPresent(backup);

    std::vector<double> layerTimes, bareTimes;
    for (int run = 1; run <= runs; ++run) {
        // Which loop goes first alternates too.
        for (int turn = 0; turn < 2; ++turn) {
            const bool layerTurn = (turn == 0) == (run % 2 == 1);
            const RunResult result = layerTurn ? BackupThroughAccessLayer(database, backup, credentials)
                                               : BackupThroughBareLoop(client, database, backup, credentials);
            bench::RemoveIfPresent(backup);
            Print(layerTurn ? "GetNextLine" : "bare loop", run, result);
            (layerTurn ? layerTimes : bareTimes).push_back(result.seconds);
        }
    }
    const double layer = bench::Median(layerTimes);
    const double bare = bench::Median(bareTimes);
    std::printf("median GetNextLine %.3f s, median bare loop %.3f s, ratio %.4f\n", layer, bare, layer / bare);
    return 0;
} catch (const std::exception& failure) {
    std::fprintf(stderr, "bench_output_loop: %s\n", failure.what());
    return 1;
}
