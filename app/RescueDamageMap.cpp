#include "RescueDamageMap.h"

// GCC 12 with the sanitizers' instrumentation takes std::regex's own state for maybe
// uninitialized (inside std::function): a false alarm in the library, not in this file.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop

namespace tovanel {
namespace {

// The table is named last: "... in table NAME (id)".
const std::regex& TableClause() {
    static const std::regex clause(R"(in table (\S+) \((\d+)\))");
    return clause;
}

// The online validation's summary of a table: "Relation 128 (CLIENTES) : 45 ERRORS found".
const std::regex& OnlineSummary() {
    static const std::regex summary(R"(Relation (\d+) \((\S+)\) : (\d+) ERRORS found)");
    return summary;
}

const std::regex& RecordClause() {
    static const std::regex clause(R"(\b(?:Record|record) (\d+)\b)");
    return clause;
}

}  // namespace

void DamageMap::AddProblem(std::string_view line) {
    const std::string text(line);
    std::smatch table;
    if (std::regex_search(text, table, OnlineSummary())) {
        // The online validation says how many, not what: the table goes through the pump.
        tables_[table[2].str()].dataDamage = true;
        return;
    }
    if (!std::regex_search(text, table, TableClause())) return;
    TableDamage& damage = tables_[table[1].str()];
    if (text.find("Index ") != std::string::npos && text.find("Record") == std::string::npos) {
        damage.indexDamage = true;
        return;
    }
    damage.dataDamage = true;
    std::smatch record;
    if (std::regex_search(text, record, RecordClause())) damage.records.insert(std::stoull(record[1].str()));
}

bool DamageMap::NeedsPump(const std::string& table) const {
    const auto place = tables_.find(table);
    return place != tables_.end() && place->second.dataDamage;
}

bool DamageMap::RecordNamed(const std::string& table, std::uint64_t record) const {
    const auto place = tables_.find(table);
    return place != tables_.end() && place->second.records.count(record) > 0;
}

}  // namespace tovanel
