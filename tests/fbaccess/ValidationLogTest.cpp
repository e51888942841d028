// Reading one validation run out of the server's log, over log texts of the form the server
// writes (recorded from Firebird 3.0.11: a blank line, "host TAB time", then TAB-indented lines).

#include "ValidationLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr const char* kA = "/srv/dados/loja.fdb";
constexpr const char* kB = "/srv/dados/estoque.fdb";

// One block as the server writes it; no database line when `database` is null.
std::string Block(const char* time, const char* database, std::vector<std::string> lines)
{
    std::string text = std::string("\nvm\t") + time + "\n";
    if (database)
        text += std::string("\tDatabase: ") + database + "\n";
    for (const std::string& line : lines)
        text += "\t" + line + "\n";
    return text + "\n";
}

std::string Msg(const char* time, const char* database, std::string message)
{
    return Block(time, database, {std::move(message)});
}

const TLogTime kStart{2026, 12, 10, 11, 26, 3};
constexpr const char* kT0 = "Thu Dec 10 11:26:02 2026";  // before the run started
constexpr const char* kT1 = "Thu Dec 10 11:26:03 2026";
constexpr const char* kT2 = "Thu Dec 10 11:26:04 2026";

struct Read {
    TValidationRun run;
    std::vector<std::string> problems;
};

Read ReadRun(const std::string& log, const char* database, const TLogTime& notBefore = kStart)
{
    Read read;
    read.run = ReadValidationRun(log, database, notBefore,
                                 [&](const std::string& problem) { read.problems.push_back(problem); });
    return read;
}

// Verbatim from a mend of a damaged test database (index page garbage), one entry cut short.
const std::string kRecordedIndexRun =
    "\nvm\tThu Dec 10 11:26:03 2026\n\tDatabase: /srv/dados/loja.fdb\n\tValidation started\n\n"
    "\nvm\tThu Dec 10 11:26:03 2026\n\tDatabase: /srv/dados/loja.fdb\n"
    "\tError: Index 1 is corrupt on page 238 level 0 at offset 39. File: ./src/jrd/validation.cpp, line: 2040\n"
    "\t in table PEDIDOS (128)\n\n"
    "\nvm\tThu Dec 10 11:26:03 2026\n\tDatabase: /srv/dados/loja.fdb\n\tWarning: Page 242 is an orphan\n\n"
    "\nvm\tThu Dec 10 11:26:03 2026\n\tDatabase: /srv/dados/loja.fdb\n"
    "\tValidation finished: 1 errors, 1 warnings, 1 fixed\n\n";

TEST(ValidationLog, AContinuationLineIsJoinedToItsMessage)
{
    const Read read = ReadRun(kRecordedIndexRun, kA);
    EXPECT_EQ(read.problems,
              (std::vector<std::string>{"Error: Index 1 is corrupt on page 238 level 0 at offset 39. File: "
                                        "./src/jrd/validation.cpp, line: 2040 in table PEDIDOS (128)",
                                        "Warning: Page 242 is an orphan"}));
    EXPECT_EQ(read.run.End, TValidationRunEnd::Finished);
    EXPECT_EQ(read.run.FinishLine, "Validation finished: 1 errors, 1 warnings, 1 fixed");
    ASSERT_TRUE(read.run.Totals);
    EXPECT_EQ(read.run.Totals->Fixed, 1);
    EXPECT_FALSE(read.run.CountsDisagree());
}

TEST(ValidationLog, InterleavedRunsOfTwoDatabasesAreTakenApart)
{
    const std::string log = Msg(kT1, kA, "Validation started") + Msg(kT1, kB, "Validation started") +
                            Msg(kT1, kB, "Error: Page 333 wrong type (expected data encountered purposely undefined)") +
                            Msg(kT1, kA, "Error: Data page 215 {sequence 15}, line 4 is bad in table PEDIDOS (129)") +
                            Msg(kT2, kB, "Warning: Page 107 is an orphan") +
                            Msg(kT2, kA, "Validation finished: 1 errors, 0 warnings, 0 fixed") +
                            Msg(kT2, kB, "Validation finished: 1 errors, 1 warnings, 0 fixed");
    struct Case {
        const char* database;
        std::vector<std::string> problems;
        const char* finish;
    };
    const std::vector<Case> cases = {
        {kA, {"Error: Data page 215 {sequence 15}, line 4 is bad in table PEDIDOS (129)"},
         "Validation finished: 1 errors, 0 warnings, 0 fixed"},
        {kB,
         {"Error: Page 333 wrong type (expected data encountered purposely undefined)",
          "Warning: Page 107 is an orphan"},
         "Validation finished: 1 errors, 1 warnings, 0 fixed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.database);
        const Read read = ReadRun(log, c.database);
        EXPECT_EQ(read.problems, c.problems);
        EXPECT_EQ(read.run.FinishLine, c.finish);
        EXPECT_FALSE(read.run.CountsDisagree());
    }
}

TEST(ValidationLog, AnAbortedRunListsWhatCameBeforeAndSaysItWasAborted)
{
    const std::string log = Msg(kT1, kA, "Validation started") +
                            Msg(kT1, kA, "Error: Data page 215 {sequence 15}, line 4 is bad in table PEDIDOS (129)") +
                            Msg(kT1, kA, "Validation aborted");
    const Read read = ReadRun(log, kA);
    EXPECT_EQ(read.run.End, TValidationRunEnd::Aborted);
    EXPECT_EQ(read.run.FinishLine, "Validation aborted");
    EXPECT_EQ(read.problems.size(), 1u);
    EXPECT_FALSE(read.run.Totals);
    EXPECT_FALSE(read.run.CountsDisagree()) << "an aborted run has no totals to compare";
}

TEST(ValidationLog, AnIoBlockWithoutDatabaseLineBelongsToNoRun)
{
    const std::string log = Msg(kT1, kA, "Validation started") +
                            Block(kT1, nullptr,
                                  {"I/O error during \"read\" operation for file \"/srv/dados/loja.fdb\"",
                                   "Error while trying to read from file"}) +
                            Msg(kT1, kA, "Error: Page 333 wrong type (expected data encountered purposely undefined)") +
                            Msg(kT1, kA, "Validation finished: 1 errors, 0 warnings, 0 fixed");
    const Read read = ReadRun(log, kA);
    EXPECT_EQ(read.problems,
              (std::vector<std::string>{"Error: Page 333 wrong type (expected data encountered purposely undefined)"}));
    EXPECT_EQ(read.run.End, TValidationRunEnd::Finished);
}

TEST(ValidationLog, OfTheSameDatabaseValidatedTwiceOnlyTheLatestRunCounts)
{
    const std::string first = Msg(kT1, kA, "Validation started") +
                              Msg(kT1, kA, "Error: Page 333 wrong type (expected data encountered purposely undefined)") +
                              Msg(kT1, kA, "Validation finished: 1 errors, 0 warnings, 0 fixed");
    const std::string second = Msg(kT1, kA, "Validation started") + Msg(kT1, kA, "Warning: Page 333 is an orphan") +
                               Msg(kT2, kA, "Validation finished: 0 errors, 1 warnings, 1 fixed");
    const Read read = ReadRun(first + second, kA);
    EXPECT_EQ(read.problems, (std::vector<std::string>{"Warning: Page 333 is an orphan"}));
    EXPECT_EQ(read.run.FinishLine, "Validation finished: 0 errors, 1 warnings, 1 fixed");
}

TEST(ValidationLog, ALogWithoutThisRunFindsNothing)
{
    const std::string earlier = Msg(kT0, kA, "Validation started") +
                                Msg(kT0, kA, "Error: Page 333 wrong type (expected data encountered purposely undefined)") +
                                Msg(kT0, kA, "Validation finished: 1 errors, 0 warnings, 0 fixed");
    const std::string otherDatabase = Msg(kT1, kB, "Validation started") +
                                      Msg(kT1, kB, "Validation finished: 0 errors, 0 warnings, 0 fixed");
    struct Case {
        const char* what;
        std::string log;
    };
    const std::vector<Case> cases = {
        {"an empty log", ""},
        {"a run of this file before this one started", earlier},
        {"a run of another file", otherDatabase},
        {"the same name in another case", Msg(kT1, "/SRV/DADOS/LOJA.FDB", "Validation started")},
        {"a text that is no log", "Summary of validation errors\n\tNumber of data page errors\t: 3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Read read = ReadRun(c.log, kA);
        EXPECT_EQ(read.run.End, TValidationRunEnd::NotFound);
        EXPECT_TRUE(read.problems.empty());
    }
}

TEST(ValidationLog, ARunWhoseCountDisagreesIsMarked)
{
    const std::string log = Msg(kT1, kA, "Validation started") +
                            Msg(kT1, kA, "Error: Page 333 wrong type (expected data encountered purposely undefined)") +
                            Msg(kT1, kA, "Validation finished: 3 errors, 0 warnings, 0 fixed");
    const Read read = ReadRun(log, kA);
    EXPECT_EQ(read.run.ListedErrors, 1);
    EXPECT_TRUE(read.run.CountsDisagree());
}

TEST(ValidationLog, ARunWithoutItsEndInTheLogIsUnended)
{
    const std::string log = Msg(kT1, kA, "Validation started") + Msg(kT1, kA, "Warning: Page 107 is an orphan");
    const Read read = ReadRun(log, kA);
    EXPECT_EQ(read.run.End, TValidationRunEnd::Unended);
    EXPECT_EQ(read.problems.size(), 1u);
}

TEST(ValidationLog, CrLfLineEndsReadLikeLf)
{
    std::string log = kRecordedIndexRun;
    for (std::size_t at = log.find('\n'); at != std::string::npos; at = log.find('\n', at + 2))
        log.insert(at, 1, '\r');
    const Read read = ReadRun(log, kA);
    ASSERT_EQ(read.problems.size(), 2u);
    EXPECT_EQ(read.problems[0].back(), ')');
    EXPECT_EQ(read.run.End, TValidationRunEnd::Finished);
}

TEST(ValidationLogTime, HeaderTimesAreRead)
{
    struct Case {
        const char* text;
        std::optional<TLogTime> time;
    };
    const std::vector<Case> cases = {
        {"Thu Dec 10 11:26:03 2026", TLogTime{2026, 12, 10, 11, 26, 3}},
        {"Mon Mar  2 07:05:09 2026", TLogTime{2026, 3, 2, 7, 5, 9}},
        {"Sun Jan 31 23:59:59 2027", TLogTime{2027, 1, 31, 23, 59, 59}},
        {"Thu Foo 10 11:26:03 2026", std::nullopt},
        {"Thu Dec 10 11:26 2026", std::nullopt},
        {"Thu Dec 10 11:26:03 2026 extra", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseLogTime(c.text), c.time);
    }
}

TEST(ValidationLogTime, LaterTimesCompareGreaterFieldByField)
{
    EXPECT_LT((TLogTime{2026, 12, 31, 23, 59, 59}), (TLogTime{2027, 1, 1, 0, 0, 0}));
    EXPECT_LT((TLogTime{2026, 12, 10, 11, 26, 3}), (TLogTime{2026, 12, 10, 11, 26, 4}));
}

TEST(ValidationLogFinish, FinishLinesGiveTheirTotals)
{
    struct Case {
        const char* text;
        std::optional<int> errors, warnings, fixed;
    };
    const std::vector<Case> cases = {
        {"Validation finished: 237 errors, 2 warnings, 1 fixed", 237, 2, 1},
        {"Validation finished: 0 errors, 0 warnings, 0 fixed", 0, 0, 0},
        {"Validation finished: 3 errors", {}, {}, {}},
        {"Validation aborted", {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto totals = ParseFinishLine(c.text);
        ASSERT_EQ(totals.has_value(), c.errors.has_value());
        if (!totals)
            continue;
        EXPECT_EQ(totals->Errors, *c.errors);
        EXPECT_EQ(totals->Warnings, *c.warnings);
        EXPECT_EQ(totals->Fixed, *c.fixed);
    }
}

}  // namespace
