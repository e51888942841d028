#include "ErrorPresentation.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "AsciiCase.h"
#include "IBErrors.h"
#include "OnDiskStructure.h"

namespace tovanel {
namespace {

constexpr std::string_view kServerOff = "FireBird Server desativado\rou bloqueio pelo firewall!";
constexpr std::string_view kBadFile =
    "* Caminho do BD não encontrado!\r* BD totalmente corrompido!\r* Não é um BD válido";
constexpr std::string_view kBadLogin = "Usuário ou senha inválidos";

bool Contains(const std::string& folded, std::string_view pattern) {
    return folded.find(AsciiUpper(pattern)) != std::string::npos;
}

std::vector<std::string> SplitAt(const std::string& text, std::string_view separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + separator.size())
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// The box's lines joined into one log line.
ChosenText WithLogLine(std::string box) {
    std::string line = box;
    std::replace(line.begin(), line.end(), '\r', ' ');
    return {std::move(box), std::move(line)};
}

// ---- a file of another on-disk structure ------------------------------------------------------

ChosenText OdsText(const OdsRefusal& refusal) {
    const std::optional<std::string> writers =
        refusal.found ? OdsWriters(*refusal.found) : std::nullopt;
    std::string text = "BD com estrutura em disco ";
    if (refusal.found)
        text += "ODS " + OdsText(*refusal.found) + (writers ? " (" + *writers + ")" : "") + "!";
    else
        text += "(ODS) de outra versão do Firebird!";
    text += "\rEste servidor";
    if (refusal.supported) text += " (ODS " + OdsText(*refusal.supported) + ")";
    text += " não pode abri-lo.\rVerifique e repare o BD num servidor ";
    text += writers ? "dessa versão" : "da versão que o gravou";
    text += ",\rou faça lá o backup e restaure-o neste servidor.";
    return WithLogLine(std::move(text));
}

// ---- a file the server's account may not open -------------------------------------------------

// The open's refusal is the message's last line, the system's own words for the error number:
// in English as the server's system gives them, or in this process's language should the
// client library word them here.
bool OpenWasRefused(const std::string& message) {
    const std::string folded = AsciiUpper(message);
    if (!Contains(folded, "I/O error during \"open")) return false;
    const std::string reason = AsciiUpper(SplitAt(message, "\r\n").back());
    const std::array<std::string, 4> refusals{"Permission denied", "Operation not permitted",
                                             std::strerror(EACCES), std::strerror(EPERM)};
    return std::any_of(refusals.begin(), refusals.end(),
                       [&](const std::string& refusal) { return reason == AsciiUpper(refusal); });
}

ChosenText PermissionText(const std::vector<std::string>& accounts) {
    std::string who;
    std::string owner = "o usuário em que o servidor roda";
    if (accounts.size() == 1) {
        who = " (usuário " + accounts.front() + ")";
        owner = "o usuário " + accounts.front();
    } else if (!accounts.empty()) {
        who = " (usuários ";
        for (std::size_t i = 0; i < accounts.size(); ++i) who += (i > 0 ? ", " : "") + accounts[i];
        who += ")";
    }
    std::string text = "O servidor Firebird" + who + " não tem permissão\rpara abrir o arquivo do BD!";
    text += "\rDê a" + owner + " leitura e gravação no arquivo\r(como dono ou por um grupo dele)";
    text += " e permissão de busca (x)\ra todos os diretórios do caminho.";
    return WithLogLine(std::move(text));
}

}  // namespace

std::optional<ChosenText> ExplainNamedCause(const std::string& message, const ServerAccountsLookup& accounts) {
    if (const std::optional<OdsRefusal> refusal = ParseOdsRefusal(message)) return OdsText(*refusal);
    if (OpenWasRefused(message)) return PermissionText(accounts ? accounts() : std::vector<std::string>{});
    return std::nullopt;
}

// The first matching rule wins, so the order matters: the two causes that the server names come
// before the I/O rule, which would otherwise call a sound file corrupt.
ChosenText ChooseFailureText(const std::string& message, const ServerAccountsLookup& accounts) {
    const std::string folded = AsciiUpper(message);
    if (Contains(folded, "Unable to complete network request to host")) return {std::string(kServerOff), {}};
    if (std::optional<ChosenText> named = ExplainNamedCause(message, accounts)) return std::move(*named);
    if (Contains(folded, "I/O error")) return {std::string(kBadFile), {}};
    if (Contains(folded, "username") || Contains(folded, "password")) return {std::string(kBadLogin), {}};
    return {message, {}};
}

std::string TextForFailure(const std::string& message, const ServerAccountsLookup& accounts) {
    return ChooseFailureText(message, accounts).box;
}

bool IsServerFailure(const std::exception& failure) noexcept {
    return dynamic_cast<const EIBInterBaseError*>(&failure) != nullptr ||
           dynamic_cast<const EIBInterBaseRoleError*>(&failure) != nullptr;
}

std::vector<std::string> ServerLines(const std::string& message) {
    if (message.empty()) return {};
    return SplitAt(message, "\r\n");
}

FailurePresentation PresentFailure(const std::exception& failure, const ServerAccountsLookup& accounts) {
    ChosenText chosen = ChooseFailureText(failure.what(), accounts);
    FailurePresentation shown{std::move(chosen.box), {}};
    if (!IsServerFailure(failure)) return shown;
    if (chosen.logLine) shown.logLines.push_back(std::move(*chosen.logLine));
    for (std::string& line : ServerLines(failure.what())) shown.logLines.push_back(std::move(line));
    return shown;
}

}  // namespace tovanel
