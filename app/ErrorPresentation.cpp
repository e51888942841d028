#include "ErrorPresentation.h"

#include <array>
#include <string_view>

#include "AsciiCase.h"

namespace tovanel {
namespace {

struct Rule {
    std::string_view pattern;
    std::string_view text;
};

// The first rule whose pattern occurs in the message wins, so the order matters.
constexpr std::array<Rule, 4> kRules{{
    {"Unable to complete network request to host",
     "FireBird Server desativado\rou bloqueio pelo firewall!"},
    {"I/O error",
     "* Caminho do BD não encontrado!\r* BD totalmente corrompido!\r* Não é um BD válido"},
    {"username", "Usuário ou senha inválidos"},
    {"password", "Usuário ou senha inválidos"},
}};

}  // namespace

std::string TextForFailure(const std::string& message) {
    const std::string folded = AsciiUpper(message);
    for (const Rule& rule : kRules)
        if (folded.find(AsciiUpper(rule.pattern)) != std::string::npos) return std::string(rule.text);
    return message;
}

}  // namespace tovanel
