#include "VerificationFindings.h"

#include <nlohmann/json.hpp>

// GCC 12 with the sanitizers' instrumentation takes std::regex's own state for maybe
// uninitialized (inside std::function): a false alarm in the library, not in this file.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop

#include "RescueDamageMap.h"

namespace tovanel {
namespace {

constexpr const char* kUnreadableKind = "table cannot be read";

std::optional<std::uint64_t> Number(const std::string& text, const std::regex& pattern) {
    std::smatch match;
    if (!std::regex_search(text, match, pattern)) return std::nullopt;
    return std::stoull(match[1].str());
}

const std::regex kTable(R"(in table (\S+) \(\d+\))");
const std::regex kOnlineSummary(R"(Relation \d+ \((\S+)\) : \d+ ERRORS found)");
const std::regex kDataPage(R"(\bData page (\d+)\b)");
const std::regex kRecord(R"(\b[Rr]ecord (\d+)\b)");
const std::regex kIndexPage(R"(\bIndex \d+ is corrupt on page (\d+)\b)");
const std::regex kBlob(R"(\bBlob (\d+)\b)");
const std::regex kPage(R"(\b[Pp]age (\d+)\b)");
const std::regex kSummaryCount(R"(^\s*Number of (.*\S)\s*:\s*(\d+)\s*$)");

std::string KindOf(const std::string& text) {
    if (std::regex_search(text, kOnlineSummary)) return "table";
    if (std::regex_search(text, kRecord)) return "record";
    if (text.find("Index ") != std::string::npos) return "index";
    if (std::regex_search(text, kBlob)) return "blob";
    if (std::regex_search(text, kDataPage)) return "data page";
    if (std::regex_search(text, kPage)) return "page";
    return "other";
}

nlohmann::ordered_json ProblemJson(const VerificationProblem& problem) {
    nlohmann::ordered_json entry;
    entry["kind"] = problem.kind;
    entry["severity"] = problem.severity;
    if (!problem.table.empty()) entry["table"] = problem.table;
    if (problem.page) entry["page"] = *problem.page;
    if (problem.record) entry["record"] = *problem.record;
    entry["server_text"] = problem.serverText;
    return entry;
}

nlohmann::ordered_json ReadCheckJson(const VerificationFindings& findings) {
    nlohmann::ordered_json check;
    check["ran"] = findings.readCheckRan;
    if (!findings.readCheckRan) return check;
    const TReadCheck& read = findings.readCheck;
    check["completed"] = read.Completed;
    if (!read.Failure.empty()) check["failure"] = read.Failure;
    check["tables"] = nlohmann::ordered_json::array();
    for (const std::string& table : read.TablesRead)
        check["tables"].push_back({{"table", table}, {"readable", true}});
    for (const TUnreadableTable& table : read.Unreadable)
        check["tables"].push_back({{"table", table.Table}, {"readable", false}, {"server_text", table.ServerError}});
    check["left_out"] = read.LeftOut;
    return check;
}

}  // namespace

VerificationProblem ClassifyProblem(std::string_view serverText) {
    VerificationProblem problem;
    const std::string text(serverText);
    problem.serverText = text;
    problem.kind = KindOf(text);
    problem.severity = text.rfind("Warning", 0) == 0 ? "warning" : "error";
    std::smatch table;
    if (std::regex_search(text, table, kTable) || std::regex_search(text, table, kOnlineSummary))
        problem.table = table[1].str();
    if (problem.kind == "index")
        problem.page = Number(text, kIndexPage);
    else if (problem.kind != "table")
        problem.page = Number(text, kDataPage) ? Number(text, kDataPage) : Number(text, kPage);
    problem.record = Number(text, kRecord);
    return problem;
}

void VerificationFindings::AddSummaryLine(const std::string& line) {
    summaryLines.push_back(line);
    std::smatch count;
    if (std::regex_match(line, count, kSummaryCount)) counts[count[1].str()] += std::stoull(count[2].str());
}

void VerificationFindings::AddValidationProblem(const std::string& serverText) {
    problems.push_back(ClassifyProblem(serverText));
}

void VerificationFindings::AddReadCheck(const TReadCheck& check) {
    readCheckRan = true;
    readCheck = check;
    for (const TUnreadableTable& table : check.Unreadable)
        problems.push_back({kUnreadableKind, "error", table.Table, std::nullopt, std::nullopt, table.ServerError});
}

std::set<std::string> VerificationFindings::TablesNamedByValidation() const {
    DamageMap damage;
    for (const VerificationProblem& problem : problems)
        if (problem.kind != kUnreadableKind) damage.AddProblem(problem.serverText);
    std::set<std::string> named;
    for (const auto& [table, what] : damage.Tables())
        if (what.dataDamage) named.insert(table);
    return named;
}

std::string FindingsJson(const VerificationFindings& findings) {
    nlohmann::ordered_json root;
    root["database"] = findings.database;
    root["problems_found"] = findings.AnyProblem();
    std::uint64_t validation = 0;
    std::uint64_t unreadable = 0;
    for (const VerificationProblem& problem : findings.problems) ++(problem.kind == kUnreadableKind ? unreadable : validation);
    nlohmann::ordered_json summary;
    summary["validation_problems"] = validation;
    summary["unreadable_tables"] = unreadable;
    summary["server_counts"] = nlohmann::ordered_json::object();
    for (const auto& [what, count] : findings.counts) summary["server_counts"][what] = count;
    summary["server_lines"] = findings.summaryLines;
    root["summary"] = summary;
    root["problems"] = nlohmann::ordered_json::array();
    for (const VerificationProblem& problem : findings.problems) root["problems"].push_back(ProblemJson(problem));
    root["read_check"] = ReadCheckJson(findings);
    // A damaged catalogue's names may hold bytes that are not UTF-8: they are replaced, never thrown on.
    return root.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace tovanel
