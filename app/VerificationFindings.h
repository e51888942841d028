#pragma once
// What a verification found, kept as data beside the log: each problem with its kind and, where
// the server's text names them, its table, page and record; the counts of the server's summary;
// the read check's result per table. A front end writes it as JSON; the log says the same in
// Portuguese.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ReadCheck.h"

namespace tovanel {

struct VerificationProblem {
    std::string kind;      // "data page", "record", "index", "blob", "page", "table", "table cannot be read", "other"
    std::string severity;  // "error" or "warning"
    std::string table;     // empty where the text names none
    std::optional<std::uint64_t> page;
    std::optional<std::uint64_t> record;
    std::string serverText;
};

// One problem line of the validation, as the server wrote it.
VerificationProblem ClassifyProblem(std::string_view serverText);

struct VerificationFindings {
    std::string database;
    std::vector<std::string> summaryLines;       // the validation service's own output
    std::map<std::string, std::uint64_t> counts;  // "Number of data page errors : 3" -> {"data page errors", 3}
    std::vector<VerificationProblem> problems;   // the validation's, then the read check's
    bool readCheckRan = false;
    TReadCheck readCheck;

    void AddSummaryLine(const std::string& line);
    void AddValidationProblem(const std::string& serverText);
    void AddReadCheck(const TReadCheck& check);
    // Tables a validation problem names in their data (pages, records, blobs).
    std::set<std::string> TablesNamedByValidation() const;
    bool ValidationFoundProblems() const { return !summaryLines.empty(); }
    bool AnyProblem() const { return ValidationFoundProblems() || !problems.empty(); }
};

// The findings as JSON text (two-space indentation, UTF-8).
std::string FindingsJson(const VerificationFindings& findings);

}  // namespace tovanel
