#pragma once
// The rescue job: recovers every row the server can still read from a damaged database into a
// new one, never touching the original. A working copy is made (RescueWorkingCopy) and
// validated; the tables its validation names in data, record or blob problems, and those the
// server's backup cannot read, go through the pump (RescuePump); the others through the server's
// backup of the copy and a restore into the new file. The job reports through one callback and
// returns its outcome, with the per-table report, as a value; it raises nothing.

#include <functional>
#include <set>
#include <string>

#include "RescuePump.h"
#include "RescueReport.h"
#include "UiPort.h"

namespace tovanel {

struct RescueRequest {
    std::string original;     // the damaged database: never attached, only copied
    std::string newDatabase;  // made by the restore; replaced if it exists
    ServerLogin login;
    PumpSettings pump;
    // Tables read row by row even where the copy's validation found nothing (the pump's own
    // speed on a healthy table is measured this way).
    std::set<std::string> alsoPump;
};

enum class RescuePhase { Checking, Copying, Validating, ReadingSchema, BackingUp, Restoring, Pumping, Activating, Finishing };

struct RescueProgress {
    RescuePhase phase = RescuePhase::Checking;
    std::string line;          // for the log; may be empty (then only the counts changed)
    std::string table;         // the table being pumped
    std::uint64_t rows = 0;    // its rows saved so far
    std::uint64_t quarantined = 0;
    std::uint64_t unreadable = 0;
};

// Progress with a line comes between the job's calls, on the thread that runs the job; progress
// with counts only (an empty line) may also come from inside a call, on the thread that runs it.
using RescueCallback = std::function<void(const RescueProgress&)>;

// How the job makes its client calls that can block for long (attaches, service starts and output
// queries, the copy, the pump's statements), and how a front end stops it. A window makes each
// call off its own thread while it keeps handling its events; a console or a test makes it in
// place, as this default does.
class RescueCalls {
public:
    virtual ~RescueCalls() = default;
    // Runs `call` to its end; raises what it raised.
    virtual void Run(ServerPhase phase, const std::function<void()>& call);
    // Asked between calls: whether the operator wants the rescue stopped. It then ends as a
    // failure (kRescueStopped), its files removed like after any other failure.
    virtual bool StopRequested() { return false; }
};

RescueReport RunRescue(const RescueRequest& request, const RescueCallback& report, RescueCalls& calls);
// Every call in place, never stopped.
RescueReport RunRescue(const RescueRequest& request, const RescueCallback& report);

inline constexpr const char* kRescueStopped = "O resgate foi interrompido a pedido do operador.";

// The confirmation and the question after a failed repair, and the proposed name's suffix.
inline constexpr const char* kConfirmRescue =
    "O resgate copia o banco de dados e recupera, tabela por tabela, todo registro que o servidor ainda "
    "consegue ler.\rO arquivo original não é alterado.\rConfirma o resgate?";
inline constexpr const char* kOfferRescue = "A reparação não foi concluída.\rDeseja tentar o resgate dos dados?";
inline constexpr const char* kRescueSuffix = "_RESGATE";

}  // namespace tovanel
