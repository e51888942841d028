#pragma once
// The server's backup and restore carry every table the pump does not: the backup of the
// working copy leaves out the pumped tables' rows (their definitions stay), and where it fails
// on a table's rows, that table joins the pump and the backup runs again. A failure before the
// rows (in the definitions) means the backup cannot run at all.

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tovanel {

// Follows the verbose lines of a backup or a restore: which table's rows it was writing when it
// failed. A restore can fail on rows the backup carried (text not valid in its character set).
class BackupOutputReader {
public:
    void Add(std::string_view line);

    bool Failed() const noexcept { return failed_; }
    // The table whose rows were being written at the failure; nothing when the failure came
    // before the rows (or there was none). `skipped` are the tables whose rows were left out.
    std::optional<std::string> FailingTable(const std::set<std::string>& skipped) const;
    // The tables in the order the backup described them, and those whose rows it wrote whole.
    const std::vector<std::string>& Tables() const noexcept { return definitions_; }
    const std::set<std::string>& Written() const noexcept { return written_; }

private:
    std::vector<std::string> definitions_;  // tables in the order the backup describes them
    std::set<std::string> written_;
    std::optional<std::string> current_;
    bool writingRows_ = false;
    bool failed_ = false;
};

// The SIMILAR TO pattern of the tables whose rows the backup leaves out. A character the pattern
// would read as an operator becomes "_" (any one character), so the pattern may match more
// tables than asked: TablesSkippedBy says which.
std::string SkipDataPattern(const std::set<std::string>& tables);
std::set<std::string> TablesSkippedBy(const std::set<std::string>& tables, const std::vector<std::string>& all);

}  // namespace tovanel
