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

using RescueCallback = std::function<void(const RescueProgress&)>;

RescueReport RunRescue(const RescueRequest& request, const RescueCallback& report);

// The confirmation and the question after a failed repair, and the proposed name's suffix.
inline constexpr const char* kConfirmRescue =
    "O resgate copia o banco de dados e recupera, tabela por tabela, todo registro que o servidor ainda "
    "consegue ler.\rO arquivo original não é alterado.\rConfirma o resgate?";
inline constexpr const char* kOfferRescue = "A reparação não foi concluída.\rDeseja tentar o resgate dos dados?";
inline constexpr const char* kRescueSuffix = "_RESGATE";

}  // namespace tovanel
