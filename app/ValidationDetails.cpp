#include "ValidationDetails.h"

#include <optional>
#include <string_view>
#include <vector>

#include "IBOnlineValidationService.h"
#include "IBServerLogService.h"
#include "ServiceOutput.h"

namespace tovanel {

namespace {

constexpr const char* kLogHeading = "Problemas registrados pelo servidor nesta validação:";
constexpr const char* kNoProblemInLog = "O servidor não registrou nenhum problema nesta validação.";
constexpr const char* kCountsDisagree =
    "Atenção: o total do servidor não confere com os problemas registrados no log.";
constexpr const char* kRunAborted =
    "O servidor interrompeu esta validação: a lista acima pode estar incompleta. Uma validação "
    "interrompida pode deixar uma conexão presa no servidor, e então as próximas validações deste "
    "banco são recusadas até o servidor ser reiniciado.";
constexpr const char* kRunUnended =
    "O log do servidor não registrou o fim desta validação: a lista acima pode estar incompleta.";
constexpr const char* kRunNotInLog = "O log do servidor não registrou esta validação";
constexpr const char* kLogUnreadable = "Não foi possível ler o log do servidor";
constexpr const char* kFallingBack =
    ". Seguem as linhas da validação online, que não verifica as tabelas de sistema nem as "
    "páginas órfãs e não corrige nada:";
constexpr const char* kNoDetails = ": só o resumo acima está disponível.";
constexpr const char* kOnlineFailed = "Não foi possível executar a validação online";

constexpr const char* kLeftoverAttachment =
    "secondary server attachments cannot validate databases";
constexpr const char* kLeftoverExplained =
    "O servidor recusou a validação: uma validação anterior deste banco foi interrompida e deixou "
    "uma conexão presa no servidor.";
constexpr const char* kLeftoverWhatToDo =
    "Para validar o banco de novo, reinicie o servidor Firebird, ou coloque o banco em shutdown "
    "(gfix -shut full -force 0) e volte a colocá-lo online (gfix -online). O Tovanel não faz isso "
    "sozinho.";

// The whole log, or the reason it could not be had.
std::optional<std::string> FetchServerLog(const TIBValidationService& like, const ServerCallRunner& run,
                                          std::string& reason) {
    try {
        TIBServerLogService logService;
        CopyConnection(like, logService);
        std::string log;
        run([&] { logService.SetActive(true); });
        run([&] { log = logService.FetchLog(); });
        run([&] { logService.SetActive(false); });
        return log;
    } catch (const std::exception& failure) {
        reason = OneLine(failure);
    }
    return std::nullopt;
}

// Lists the run from the log; false when the run is not there.
bool ListFromLog(const std::string& log, const TIBValidationService& service, const TLogTime& startedAt,
                 const LineSink& append, const LineSink& onProblem) {
    std::vector<std::string> problems;
    const TValidationRun run = ReadValidationRun(log, service.DatabaseName(), startedAt,
                                                 [&](const std::string& problem) { problems.push_back(problem); });
    if (run.End == TValidationRunEnd::NotFound) return false;
    append("");
    append(problems.empty() ? kNoProblemInLog : kLogHeading);
    for (const std::string& problem : problems) {
        append(problem);
        if (onProblem) onProblem(problem);
    }
    if (run.CountsDisagree()) append(kCountsDisagree);
    switch (run.End) {
        case TValidationRunEnd::Finished: append(run.FinishLine); break;
        case TValidationRunEnd::Aborted:
            append(run.FinishLine);
            append(kRunAborted);
            break;
        case TValidationRunEnd::Unended: append(kRunUnended); break;
        case TValidationRunEnd::NotFound: break;
    }
    return true;
}

bool IsOnlineProblem(std::string_view line) {
    return line.find("ERRORS found") != std::string_view::npos || line.find("Error") != std::string_view::npos ||
           line.find("Warning") != std::string_view::npos;
}

// The online validation's lines, as the server sends them; false when it could not run.
// Its lines that report errors go to `onProblem` too.
bool ListOnlineValidation(const TIBValidationService& like, const ServerCallRunner& run, const LineSink& append,
                          const LineSink& onProblem) {
    try {
        TIBOnlineValidationService online;
        CopyConnection(like, online);
        online.SetDatabaseName(like.DatabaseName());
        run([&] { online.SetActive(true); });
        run([&] { online.ServiceStart(); });
        ReadServiceOutput(online, run, [&](const std::string& line) {
            append(line);
            if (onProblem && IsOnlineProblem(line)) onProblem(line);
        });
        run([&] { online.SetActive(false); });
        return true;
    } catch (const std::exception& failure) {
        append(std::string(kOnlineFailed) + " (" + OneLine(failure) + ")" + kNoDetails);
    }
    return false;
}

}  // namespace

std::string OneLine(const std::exception& failure) {
    std::string line;
    for (const char c : std::string(failure.what())) {
        if (c == '\r') continue;
        line += c == '\n' ? ' ' : c;
    }
    return line;
}

void CopyConnection(const TIBValidationService& from, TIBCustomService& to) {
    to.SetServerName(from.ServerName());
    to.SetProtocol(from.Protocol());
    to.SetParams(from.Params());
    to.SetLoginPrompt(false);
}

TRunDetailsSource ListRunDetails(const TIBValidationService& service, const TLogTime& startedAt,
                                 bool onlineFallback, const ServerCallRunner& run, const LineSink& append,
                                 const LineSink& onProblem) {
    std::string reason;
    std::string why;
    if (const auto log = FetchServerLog(service, run, reason)) {
        if (ListFromLog(*log, service, startedAt, append, onProblem)) return TRunDetailsSource::ServerLog;
        why = kRunNotInLog;
    } else {
        why = std::string(kLogUnreadable) + " (" + reason + ")";
    }
    append("");
    if (!onlineFallback) {
        append(why + kNoDetails);
        return TRunDetailsSource::None;
    }
    append(why + kFallingBack);
    return ListOnlineValidation(service, run, append, onProblem) ? TRunDetailsSource::OnlineValidation
                                                            : TRunDetailsSource::None;
}

bool IsLeftoverAttachmentRefusal(const std::exception& failure) {
    return std::string_view(failure.what()).find(kLeftoverAttachment) != std::string_view::npos;
}

void ExplainLeftoverAttachment(const LineSink& append) {
    append(kLeftoverExplained);
    append(kLeftoverWhatToDo);
}

void StartValidation(TIBValidationService& service, const LineSink& append) {
    StartValidation([&service] { service.ServiceStart(); }, append);
}

void StartValidation(const std::function<void()>& start, const LineSink& append) {
    try {
        start();
    } catch (const EIBError& failure) {
        if (IsLeftoverAttachmentRefusal(failure)) ExplainLeftoverAttachment(append);
        throw;
    }
}

}  // namespace tovanel
