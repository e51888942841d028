#include "RescueBackup.h"

namespace tovanel {
namespace {

std::string_view Trimmed(std::string_view line) {
    if (line.substr(0, 5) == "gbak:") line.remove_prefix(5);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    return line;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool IsPlainNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '$' || c == '_';
}

std::string PatternName(const std::string& table) {
    std::string name;
    for (const char c : table) name += IsPlainNameCharacter(c) ? c : '_';
    return name;
}

// "_" matches any one character, everything else itself, the whole name.
bool MatchesPatternName(std::string_view pattern, std::string_view name) {
    if (pattern.size() != name.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i)
        if (pattern[i] != '_' && pattern[i] != name[i]) return false;
    return true;
}

}  // namespace

void BackupOutputReader::Add(std::string_view raw) {
    const std::string_view line = Trimmed(raw);
    if (StartsWith(line, "writing data for table ")) {
        current_ = std::string(line.substr(23));
        writingRows_ = true;
    } else if (StartsWith(line, "restoring data for table ")) {
        current_ = std::string(line.substr(25));
        writingRows_ = true;
    } else if (StartsWith(line, "writing table ")) {
        definitions_.emplace_back(line.substr(14));
    } else if (StartsWith(line, "writing id generators")) {
        // The rows come after the generators.
        writingRows_ = true;
    } else if (line.find("records written") != std::string_view::npos ||
               line.find("records restored") != std::string_view::npos) {
        if (current_) written_.insert(*current_);
        current_.reset();
    } else if (StartsWith(line, "ERROR:") || line.find("Exiting before completion due to errors") != std::string_view::npos) {
        failed_ = true;
    }
}

std::optional<std::string> BackupOutputReader::FailingTable(const std::set<std::string>& skipped) const {
    if (!failed_ || !writingRows_) return std::nullopt;
    if (current_) return current_;
    // The failure came before the table's first line: the next table in the backup's order.
    for (const std::string& table : definitions_)
        if (written_.count(table) == 0 && skipped.count(table) == 0) return table;
    return std::nullopt;
}

std::string SkipDataPattern(const std::set<std::string>& tables) {
    std::string pattern;
    for (const std::string& table : tables) pattern += (pattern.empty() ? "(" : "|") + PatternName(table);
    return pattern.empty() ? pattern : pattern + ")";
}

std::set<std::string> TablesSkippedBy(const std::set<std::string>& tables, const std::vector<std::string>& all) {
    std::set<std::string> skipped;
    for (const std::string& name : all)
        for (const std::string& table : tables)
            if (MatchesPatternName(PatternName(table), name)) skipped.insert(name);
    return skipped;
}

}  // namespace tovanel
