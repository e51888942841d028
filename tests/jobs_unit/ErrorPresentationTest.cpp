#include <gtest/gtest.h>

#include "ErrorPresentation.h"

namespace tovanel {
namespace {

const std::string kServerOff = "FireBird Server desativado\rou bloqueio pelo firewall!";
const std::string kBadFile =
    "* Caminho do BD não encontrado!\r* BD totalmente corrompido!\r* Não é um BD válido";
const std::string kBadLogin = "Usuário ou senha inválidos";

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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(TextForFailure(c.message), c.shown);
    }
}

}  // namespace
}  // namespace tovanel
