#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "AsciiCase.h"
#include "ErrorPresentation.h"
#include "IBErrors.h"
#include "OnDiskStructure.h"

namespace tovanel {
namespace {

const std::string kServerOff = "FireBird Server desativado\rou bloqueio pelo firewall!";
const std::string kBadFile =
    "* Caminho do BD não encontrado!\r* BD totalmente corrompido!\r* Não é um BD válido";
const std::string kBadLogin = "Usuário ou senha inválidos";
const std::string kAdvice = "ou faça lá o backup e restaure-o neste servidor.";

struct Case {
    const char* why;
    std::string message;
    std::string shown;
};

TEST(ErrorPresentation, ChoosesTheFirstMatchingRuleOrTheMessageItself) {
    const Case cases[] = {
        {"rule 1 as the server words it",
         "Unable to complete network request to host \"localhost\".\r\nFailed to establish a "
         "connection",
         kServerOff},
        {"rule 1 in lower case", "unable to complete network request to host \"x\"", kServerOff},
        {"rule 2", "I/O error during \"open\" operation for file \"/tmp/x.fdb\"", kBadFile},
        {"rule 2 in mixed case", "i/o ERROR for file", kBadFile},
        {"rule 3", "Your user name and password are not defined. Ask your database "
                   "administrator to set up a Firebird login. Username",
         kBadLogin},
        {"rule 3 alone", "invalid USERNAME given", kBadLogin},
        {"rule 4", "Your user name and password are not defined", kBadLogin},
        {"rule 4 in upper case", "BAD PASSWORD", kBadLogin},
        {"rule 2 wins over rule 4", "I/O error ... password", kBadFile},
        {"rule 1 wins over rule 2", "I/O error; Unable to complete network request to host", kServerOff},
        {"rule 3 wins over rule 4 (same text)", "username or password", kBadLogin},
        {"user name as two words matches nothing", "unknown user name", "unknown user name"},
        {"unmatched message keeps its case", "File Is Not A Valid Database", "File Is Not A Valid Database"},
        {"accented lower case stays, unmatched", "senha: conexão recusada", "senha: conexão recusada"},
        // Full Unicode upper-casing would turn these into "I/O ERROR" and "PASSWORD".
        {"dotless i is not an ASCII letter", "ı/o error", "ı/o error"},
        {"long s is not an ASCII letter", "paſſword", "paſſword"},
        {"empty message", "", ""},
        // I/O errors other than a refused open keep rule 2's text.
        {"missing file",
         "I/O error during \"open\" operation for file \"/tmp/x.fdb\"\r\nError while trying to open "
         "file\r\nNo such file or directory",
         kBadFile},
        {"short file", "I/O error during \"read\" operation for file \"/tmp/x.fdb\"\r\nFile size is less than expected",
         kBadFile},
        {"a refused read is not a refused open",
         "I/O error during \"read\" operation for file \"/tmp/x.fdb\"\r\nError while trying to read "
         "from file\r\nPermission denied",
         kBadFile},
        {"the refusal's words inside the path only",
         "I/O error during \"open\" operation for file \"/tmp/Permission denied\"\r\nError while "
         "trying to open file\r\nNo such file or directory",
         kBadFile},
        {"permission denied without an I/O error", "Permission denied", "Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(TextForFailure(c.message), c.shown);
        EXPECT_FALSE(ChooseFailureText(c.message).logLine) << "these rules log no explanation";
    }
}

std::string Refusal(const std::string& found, const std::string& supported = "12.2") {
    return "unsupported on-disk structure for file /srv/bd/CLIENTES.FDB; found " + found + ", support " +
           supported + "\r\nIProvider::attachDatabase failed when loading mapping cache";
}

struct OdsCase {
    const char* why;
    std::string message;
    std::string firstLine;  // names the structure and who writes it
    std::string secondLine;
    std::string whereToRepair;
};

TEST(ErrorPresentation, AFileOfAnotherOnDiskStructureNamesTheVersionsThatWriteItAndWhatToDo) {
    const std::string here = "Este servidor (ODS 12.2) não pode abri-lo.";
    const std::string there = "Verifique e repare o BD num servidor dessa versão,";
    const std::string unknown = "Verifique e repare o BD num servidor da versão que o gravou,";
    // The file's version as the server states it, and who writes it.
    const struct {
        std::string found;
        std::string writers;
    } versions[] = {
        {"7.0", "InterBase anterior ao 5"},  // InterBase 4
        {"8.0", "InterBase 5 a 6 ou Firebird 1.x"},
        {"9.0", "InterBase 5 a 6 ou Firebird 1.x"},   // InterBase 5
        {"10.0", "InterBase 5 a 6 ou Firebird 1.x"},  // InterBase 6, Firebird 1.0
        {"10.1", "InterBase 5 a 6 ou Firebird 1.x"},  // Firebird 1.5
        {"11.0", "Firebird 2.0 a 2.5"},
        {"11.1", "Firebird 2.0 a 2.5"},
        {"11.2", "Firebird 2.0 a 2.5"},
        {"12.9", "Firebird 3"},  // a later Firebird 3 minor
        {"13.0", "Firebird 4"},
        {"13.1", "Firebird 5"},
        {"13.2", "Firebird posterior ao 5"},
        {"14.0", "Firebird posterior ao 5"},
    };
    std::vector<OdsCase> cases;
    for (const auto& v : versions)
        cases.push_back({"a known version", Refusal(v.found),
                         "BD com estrutura em disco ODS " + v.found + " (" + v.writers + ")!", here, there});
    const OdsCase others[] = {
        {"another server's own version", Refusal("11.0", "13.1"), "BD com estrutura em disco ODS 11.0 (Firebird 2.0 a 2.5)!",
         "Este servidor (ODS 13.1) não pode abri-lo.", there},
        {"pattern in another case", "UNSUPPORTED ON-DISK STRUCTURE for file x; FOUND 11.0, SUPPORT 12.2",
         "BD com estrutura em disco ODS 11.0 (Firebird 2.0 a 2.5)!", here, there},
        {"a path holding \"; found \"", "unsupported on-disk structure for file /a; found 9.9, b.fdb; found 13.0, support 12.2",
         "BD com estrutura em disco ODS 13.0 (Firebird 4)!", here, there},
        // Malformed versions: the refusal is still told, without the parts that cannot be read.
        {"version zero", Refusal("0.0"), "BD com estrutura em disco ODS 0.0!", here, unknown},
        {"no minor", Refusal("11"), "BD com estrutura em disco (ODS) de outra versão do Firebird!",
         "Este servidor não pode abri-lo.", unknown},
        {"not a number", Refusal("onze.0"), "BD com estrutura em disco (ODS) de outra versão do Firebird!",
         "Este servidor não pode abri-lo.", unknown},
        {"a negative major", Refusal("-11.0"), "BD com estrutura em disco (ODS) de outra versão do Firebird!",
         "Este servidor não pode abri-lo.", unknown},
        {"a major too large for any number", Refusal("99999999999999999999.0"),
         "BD com estrutura em disco (ODS) de outra versão do Firebird!", "Este servidor não pode abri-lo.", unknown},
        {"no versions at all", "unsupported on-disk structure for file x",
         "BD com estrutura em disco (ODS) de outra versão do Firebird!", "Este servidor não pode abri-lo.", unknown},
        {"the versions on the next line only", "unsupported on-disk structure for file x\r\nfound 11.0, support 12.2",
         "BD com estrutura em disco (ODS) de outra versão do Firebird!", "Este servidor não pode abri-lo.", unknown},
        {"server's version malformed", Refusal("11.0", "doze"), "BD com estrutura em disco ODS 11.0 (Firebird 2.0 a 2.5)!",
         "Este servidor não pode abri-lo.", there},
        {"wins over an I/O error in the same message", "I/O error\r\n" + Refusal("11.0"),
         "BD com estrutura em disco ODS 11.0 (Firebird 2.0 a 2.5)!", here, there},
    };
    cases.insert(cases.end(), std::begin(others), std::end(others));
    for (const OdsCase& c : cases) {
        SCOPED_TRACE(c.message);
        SCOPED_TRACE(c.why);
        const ChosenText chosen = ChooseFailureText(c.message);
        const std::string lines[] = {c.firstLine, c.secondLine, c.whereToRepair, kAdvice};
        EXPECT_EQ(chosen.box, lines[0] + "\r" + lines[1] + "\r" + lines[2] + "\r" + lines[3]);
        EXPECT_EQ(chosen.logLine, lines[0] + " " + lines[1] + " " + lines[2] + " " + lines[3]);
    }
}

struct PermissionCase {
    const char* why;
    std::string message;
    std::vector<std::string> accounts;
    std::string who;    // how the box names the server's account
    std::string owner;  // whom it asks to let in
};

std::string RefusedOpen(const std::string& reason) {
    return "I/O error during \"open\" operation for file \"/srv/bd/CLIENTES.FDB\"\r\nError while "
           "trying to open file\r\n" +
           reason;
}

TEST(ErrorPresentation, AnOpenTheSystemRefusedNamesTheServersAccountAndHowToAllowIt) {
    const PermissionCase cases[] = {
        {"permission denied", RefusedOpen("Permission denied"), {"firebird"}, " (usuário firebird)", "o usuário firebird"},
        {"operation not permitted", RefusedOpen("Operation not permitted"), {"firebird"}, " (usuário firebird)",
         "o usuário firebird"},
        {"in the client's own language", RefusedOpen(std::strerror(EACCES)), {"firebird"}, " (usuário firebird)",
         "o usuário firebird"},
        {"in another case", AsciiLower(RefusedOpen("Permission denied")), {"fb"}, " (usuário fb)", "o usuário fb"},
        {"creating a file", "I/O error during \"open O_CREAT\" operation for file \"/x\"\r\nError while trying to "
                            "create file\r\nPermission denied",
         {"firebird"}, " (usuário firebird)", "o usuário firebird"},
        {"no server process visible", RefusedOpen("Permission denied"), {}, "", "o usuário em que o servidor roda"},
        {"servers of two accounts", RefusedOpen("Permission denied"), {"firebird", "root"}, " (usuários firebird, root)",
         "o usuário em que o servidor roda"},
    };
    for (const PermissionCase& c : cases) {
        SCOPED_TRACE(c.why);
        int asked = 0;
        const ChosenText chosen = ChooseFailureText(c.message, [&] {
            ++asked;
            return c.accounts;
        });
        const std::string lines[] = {"O servidor Firebird" + c.who + " não tem permissão", "para abrir o arquivo do BD!",
                                     "Dê a" + c.owner + " leitura e gravação no arquivo",
                                     "(como dono ou por um grupo dele) e permissão de busca (x)",
                                     "a todos os diretórios do caminho."};
        std::string box = lines[0], log = lines[0];
        for (std::size_t i = 1; i < std::size(lines); ++i) {
            box += "\r" + lines[i];
            log += " " + lines[i];
        }
        EXPECT_EQ(chosen.box, box);
        EXPECT_EQ(chosen.logLine, log);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(chosen.box.find("corrompido"), std::string::npos);
    }
    // Without a way to ask, the account is not named.
    EXPECT_TRUE(TextForFailure(RefusedOpen("Permission denied")).starts_with("O servidor Firebird não tem permissão\r"));
}

TEST(ErrorPresentation, TheAccountsAreAskedOnlyWhenTheTextNamesThem) {
    int asked = 0;
    const ServerAccountsLookup count = [&] {
        ++asked;
        return std::vector<std::string>{"firebird"};
    };
    for (const std::string& message : {Refusal("11.0"), std::string("I/O error"), std::string("password"), std::string("x")})
        ChooseFailureText(message, count);
    EXPECT_EQ(asked, 0);
}

TEST(ErrorPresentation, AServersFailureIsFollowedInTheLogByItsOwnLinesUnchanged) {
    const std::string refusal = Refusal("11.0");
    const std::string refusedOpen = RefusedOpen("Permission denied");
    const std::string network = "Unable to complete network request to host \"localhost\"\r\nFailed to establish a connection";
    const std::string lfEnded = "Summary of validation errors\n\tNumber of record level errors\t: 3";
    const ServerAccountsLookup accounts = [] { return std::vector<std::string>{"firebird"}; };

    const FailurePresentation ods = PresentFailure(EIBInterBaseError(-820, isc_wrong_ods, refusal), accounts);
    ASSERT_EQ(ods.logLines.size(), 3u);
    EXPECT_EQ(ods.logLines[0], ChooseFailureText(refusal).logLine);
    EXPECT_EQ(ods.logLines[1], "unsupported on-disk structure for file /srv/bd/CLIENTES.FDB; found 11.0, support 12.2");
    EXPECT_EQ(ods.logLines[2], "IProvider::attachDatabase failed when loading mapping cache");

    const FailurePresentation denied = PresentFailure(EIBInterBaseError(-902, isc_io_error, refusedOpen), accounts);
    EXPECT_EQ(denied.box, ChooseFailureText(refusedOpen, accounts).box);
    EXPECT_EQ(denied.logLines,
              (std::vector<std::string>{*ChooseFailureText(refusedOpen, accounts).logLine,
                                        "I/O error during \"open\" operation for file \"/srv/bd/CLIENTES.FDB\"",
                                        "Error while trying to open file", "Permission denied"}));

    // The older rules keep their box and add no explanation line, only the server's lines.
    const FailurePresentation off = PresentFailure(EIBInterBaseError(-902, isc_network_error, network), accounts);
    EXPECT_EQ(off.box, kServerOff);
    EXPECT_EQ(off.logLines, (std::vector<std::string>{"Unable to complete network request to host \"localhost\"",
                                                       "Failed to establish a connection"}));
    const FailurePresentation role = PresentFailure(EIBInterBaseRoleError(-551, 0, "no permission for x"), accounts);
    EXPECT_EQ(role.logLines, std::vector<std::string>{"no permission for x"});
    const FailurePresentation oneLine = PresentFailure(EIBInterBaseError(-902, 0, lfEnded), accounts);
    EXPECT_EQ(oneLine.logLines, std::vector<std::string>{lfEnded}) << "only CR LF separates the server's lines";
    EXPECT_TRUE(PresentFailure(EIBInterBaseError(-902, 0, ""), accounts).logLines.empty());

    // The layer's own checks and other failures are not the server's: nothing goes to the log.
    const FailurePresentation client = PresentFailure(EIBClientError(17, "Database name is missing"), accounts);
    EXPECT_EQ(client.box, "Database name is missing");
    EXPECT_TRUE(client.logLines.empty());
    EXPECT_TRUE(PresentFailure(std::runtime_error(refusedOpen), accounts).logLines.empty());
    EXPECT_TRUE(PresentFailure(EIBClientError(17, refusal), accounts).logLines.empty());
}

}  // namespace
}  // namespace tovanel
