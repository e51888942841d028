#pragma once
// What the validation of the working copy said, table by table: which tables have data, record
// or blob problems (they go through the pump) and which records it named (they go to the
// quarantine). Index problems alone send no table to the pump: the pump never reads through an
// index, and the new database builds its indexes afresh.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace tovanel {

struct TableDamage {
    std::set<std::uint64_t> records;  // record numbers the validation named
    bool dataDamage = false;          // a data page, record or blob problem
    bool indexDamage = false;
};

class DamageMap {
public:
    // One problem line of the validation (the server's text, e.g. "Error: Record 12 is wrong
    // length in table CLIENTES (128)", or the online validation's "Relation 128 (CLIENTES) : 45
    // ERRORS found"); lines naming no table are ignored.
    void AddProblem(std::string_view line);

    bool NeedsPump(const std::string& table) const;
    bool RecordNamed(const std::string& table, std::uint64_t record) const;
    const std::map<std::string, TableDamage>& Tables() const noexcept { return tables_; }

private:
    std::map<std::string, TableDamage> tables_;
};

}  // namespace tovanel
