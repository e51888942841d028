// The verification and the mend name each problem as the server's log does, on databases the
// tests damage, against the private instance.

// GCC 12 with the sanitizers' instrumentation takes std::regex's own state for maybe
// uninitialized (inside std::function): a false alarm in the library, not in this file.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop

#include "ConsoleOnServer.h"

namespace tovanel::testing {
namespace {

const std::string kLogHeading = "Problemas registrados pelo servidor nesta validação:";

// The lines the job listed from the server's log: after the heading, up to the finish line.
struct Details {
    std::vector<std::string> problems;
    std::string finish;
    bool heading = false;
};

Details DetailsIn(const std::vector<std::string>& log, std::size_t from = 0) {
    Details details;
    auto at = std::find(log.begin() + static_cast<std::ptrdiff_t>(from), log.end(), kLogHeading);
    if (at == log.end()) return details;
    details.heading = true;
    for (++at; at != log.end(); ++at) {
        if (at->starts_with("Validation finished: ") || *at == "Validation aborted") {
            details.finish = *at;
            break;
        }
        details.problems.push_back(*at);
    }
    return details;
}

// The sum of the summary's error counts ("Number of ... errors : n"), from the start status.
int SummaryErrors(const std::vector<std::string>& log) {
    static const std::regex count(R"(^\s*Number of .* errors\s*: (\d+)$)");
    int total = 0;
    for (const std::string& line : log) {
        std::smatch match;
        if (std::regex_match(line, match, count)) total += std::stoi(match[1]);
    }
    return total;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "|\n";
    return text;
}

class VerificationDetailsOnServer : public ConsoleOnServer {
protected:
    void Verify(const fs::path& db) {
        Use(db);
        port.QueueAnswer(kButtonYes);
        port.QueueAnswer(kButtonNo);  // the offer to repair
        Run(&TFrmPrincipal::ActnVerificarBancoExecute);
    }

    // A small table whose rows fit on one data page; answers its relation id.
    std::uint16_t AddSmallTable(const fs::path& db) {
        const testserver::CommandResult made = server().isql(
            db,
            "create table poucos (id integer not null, nome varchar(30));\ncommit;\n"
            "insert into poucos values (1, 'um');\ninsert into poucos values (2, 'dois');\n"
            "insert into poucos values (3, 'tres');\ncommit;\n"
            "select 'ID=' || rdb$relation_id from rdb$relations where rdb$relation_name = 'POUCOS';\n");
        EXPECT_TRUE(made.ok()) << made.output;
        std::smatch match;
        if (!std::regex_search(made.output, match, std::regex(R"(ID=(\d+))"))) {
            ADD_FAILURE() << made.output;
            return 0;
        }
        return static_cast<std::uint16_t>(std::stoi(match[1]));
    }
};

TEST_F(VerificationDetailsOnServer, EachProblemIsListedWithItsPageAndTableAsTheLogNamesThem) {
    struct Case {
        fbdamage::Kind kind;
        bool pageNamed;  // the log names the damaged page itself (record damage names records)
    };
    const Case cases[] = {
        {fbdamage::Kind::Records, false},
        {fbdamage::Kind::BTree, true},
        {fbdamage::Kind::ZeroPage, true},
        {fbdamage::Kind::Count, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(fbdamage::kindName(c.kind)));
        port.log.clear();
        port.messageBoxes.clear();
        const fs::path db = server().freshPath("detalhes");
        const auto pages = server().createDamagedDatabase(db, c.kind);
        Verify(db);
        SCOPED_TRACE("log:\n" + Joined(port.log));

        const Details details = DetailsIn(port.log);
        ASSERT_TRUE(details.heading);
        ASSERT_FALSE(details.problems.empty());
        for (const std::string& problem : details.problems)
            EXPECT_TRUE(problem.starts_with("Error: ") || problem.starts_with("Warning: ")) << problem;
        EXPECT_TRUE(details.finish.starts_with("Validation finished: ")) << details.finish;
        EXPECT_FALSE(LogHas("Atenção: o total do servidor não confere com os problemas registrados no log."));
        // The log and the summary are two channels; their error counts must agree.
        const auto errors = std::count_if(details.problems.begin(), details.problems.end(),
                                          [](const std::string& p) { return p.starts_with("Error: "); });
        EXPECT_EQ(errors, SummaryErrors(port.log));
        EXPECT_TRUE(std::any_of(details.problems.begin(), details.problems.end(), [](const std::string& p) {
            return std::regex_search(p, std::regex(R"(in table (CLIENTES|PEDIDOS|PRODUTOS) \(\d+\))"));
        })) << "the table is named";
        for (const std::uint32_t page : c.pageNamed ? pages : std::vector<std::uint32_t>{}) {
            const std::regex named("[Pp]age " + std::to_string(page) + "[ ,]");
            EXPECT_TRUE(std::any_of(details.problems.begin(), details.problems.end(),
                                    [&](const std::string& p) { return std::regex_search(p, named); }))
                << "page " << page;
        }
        EXPECT_TRUE(form->EncontrouErro);
        ExpectIdle();
    }
}

TEST_F(VerificationDetailsOnServer, ASmallTablesOnlyDataPageIsNamedWithItsTable) {
    const fs::path healthy = server().freshPath("pequena_src");
    server().createHealthyDatabase(healthy);
    const std::uint16_t relation = AddSmallTable(healthy);
    ASSERT_GE(relation, fbdamage::kFirstUserRelation);
    const fs::path db = server().freshPath("pequena");
    server().copyDatabase(healthy, db);
    fbdamage::DamageOptions options;
    options.kind = fbdamage::Kind::ZeroPage;
    options.relation = relation;
    const auto pages = fbdamage::damage(db, options);
    ASSERT_EQ(pages.size(), 1u);
    Verify(db);
    SCOPED_TRACE("log:\n" + Joined(port.log));

    const Details details = DetailsIn(port.log);
    ASSERT_TRUE(details.heading);
    const std::string page = std::to_string(pages[0]);
    EXPECT_TRUE(std::any_of(details.problems.begin(), details.problems.end(), [&](const std::string& p) {
        return p.find("Page " + page + " wrong type") != std::string::npos;
    }));
    EXPECT_TRUE(std::any_of(details.problems.begin(), details.problems.end(), [&](const std::string& p) {
        return p.find("in table POUCOS (" + std::to_string(relation) + ")") != std::string::npos;
    }));
}

TEST_F(VerificationDetailsOnServer, TheRepairsLogListsWhatTheMendFoundAndFixed) {
    const fs::path db = server().freshPath("mend");
    server().createDamagedDatabase(db, fbdamage::Kind::ZeroPage);
    const fs::path target = server().freshPath("mend_novo");
    Use(db);
    port.QueueAnswer(kButtonYes);
    port.QueueSaveDialog(target.string());
    Run(&TFrmPrincipal::ActnReparabancoExecute);
    SCOPED_TRACE("log:\n" + Joined(port.log));

    const Details details = DetailsIn(port.log);
    ASSERT_TRUE(details.heading);
    EXPECT_FALSE(details.problems.empty());
    std::smatch match;
    ASSERT_TRUE(std::regex_match(details.finish, match,
                                 std::regex(R"(Validation finished: \d+ errors, \d+ warnings, (\d+) fixed)")))
        << details.finish;
    EXPECT_GE(std::stoi(match[1]), 1) << "the zeroed page is mended";
    EXPECT_TRUE(ErrorBoxes().empty());
    EXPECT_TRUE(LogHas(kDone));
}

}  // namespace
}  // namespace tovanel::testing
