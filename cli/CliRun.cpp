#include "CliRun.h"

#include <exception>
#include <fstream>
#include <memory>
#include <ostream>

#include "AsciiCase.h"
#include "UFrmPrincipal.h"

namespace tovanel::cli {

namespace {

int UsageFailure(const TerminalIo& io, const std::string& error) {
    io.err << "tovanel-cli: " << error << "\nUse tovanel-cli --help para ver o uso.\n" << std::flush;
    return kExitFailure;
}

// The operator's inputs, as if typed into the window: typing into the user or password edit
// clears the default-credentials box, and the user edit holds upper case only.
void FillInputs(TFrmPrincipal& window, UiPort& port, const CliOptions& options,
                const Credentials& credentials, const std::string& workingDirectory) {
    port.SetEditText(UiEdit::LblEditBancodeDados,
                     DatabasePathFromCurrentDirectory(options.database, workingDirectory));
    if (credentials.user) {
        port.SetEditText(UiEdit::LblEdtUsuarioBD, AsciiUpper(*credentials.user));
        window.TeclaPressinadaEditUserSenha();
    }
    if (credentials.password) {
        port.SetEditText(UiEdit::MskEdtSenhaBD, *credentials.password);
        window.TeclaPressinadaEditUserSenha();
    }
}

void RunCommand(TFrmPrincipal& window, Command command) {
    switch (command) {
        case Command::Test: window.RunHandler([&] { window.ActnTestaConexaoExecute(); }); break;
        case Command::Verify: window.RunHandler([&] { window.ActnVerificarBancoExecute(); }); break;
        case Command::Repair: window.RunHandler([&] { window.ActnReparabancoExecute(); }); break;
        case Command::Status: window.RunHandler([&] { window.TimerTimer(); }); break;
        case Command::Rescue: window.RunHandler([&] { window.ActnResgateExecute(); }); break;
    }
}

// The verification's findings as JSON, when asked for; a report that cannot be written fails
// the command.
bool WriteVerificationReport(const std::optional<VerificationFindings>& findings,
                             const std::optional<std::string>& reportFile, const TerminalIo& io) {
    if (!reportFile || !findings) return true;
    std::ofstream out(*reportFile, std::ios::binary | std::ios::trunc);
    out << FindingsJson(*findings);
    if (out) return true;
    io.err << "tovanel-cli: não foi possível gravar o relatório em " << *reportFile << '\n' << std::flush;
    return false;
}

}  // namespace

int RescueExitStatus(const std::optional<RescueReport>& report, const std::optional<std::string>& reportFile,
                     const TerminalIo& io) {
    if (!report) return kExitFailure;  // it did not run: refused by the guard, a No, no file
    if (reportFile) {
        std::ofstream out(*reportFile, std::ios::binary | std::ios::trunc);
        out << ReportJson(*report);
        if (!out) {
            io.err << "tovanel-cli: não foi possível gravar o relatório em " << *reportFile << '\n' << std::flush;
            return kExitFailure;
        }
    }
    return report->outcome == RescueOutcome::NewDatabaseMade ? kExitSuccess : kExitFailure;
}

int ExitStatus(Command command, const Outcome& shown, JobOutcome job) {
    if (shown.errorBoxes > 0 || shown.stoppedWithoutTerminal) return kExitFailure;
    if (command == Command::Status) return kExitSuccess;
    switch (job) {
        case JobOutcome::Succeeded: return kExitSuccess;
        case JobOutcome::FoundProblems: return kExitErrorsFound;
        case JobOutcome::Failed:
        case JobOutcome::Cancelled: break;
    }
    return kExitFailure;
}

int RunCli(std::span<const std::string> args, const EnvLookup& env, TerminalIo io,
           const std::string& workingDirectory) {
    const ParsedCommandLine parsed = ParseCommandLine(args);
    switch (parsed.kind) {
        case ParsedCommandLine::Kind::Help: io.out << UsageText() << std::flush; return kExitSuccess;
        case ParsedCommandLine::Kind::Version:
            io.out << "tovanel-cli " << TOVANEL_VERSION << '\n' << std::flush;
            return kExitSuccess;
        case ParsedCommandLine::Kind::UsageError: return UsageFailure(io, parsed.error);
        case ParsedCommandLine::Kind::Run: break;
    }
    const CliOptions& options = parsed.options;

    Credentials credentials;
    try {
        credentials = ResolveCredentials(options, env);
    } catch (const CredentialError& failure) {
        return UsageFailure(io, failure.what());
    }
    for (const std::string& warning : credentials.warnings) io.err << "tovanel-cli: " << warning << '\n';
    io.err << std::flush;

    TerminalUiPort port(io, options.yes, options.output, workingDirectory);
    port.SetDeclineRepairOffer(options.noRepair);
    std::unique_ptr<TFrmPrincipal> window;
    try {
        // Creating the window loads the client library; nothing can run without it.
        window = std::make_unique<TFrmPrincipal>(port);
        window->FormCreate();
    } catch (const std::exception& failure) {
        io.err << "Tovanel: " << failure.what() << '\n' << std::flush;
        return kExitFailure;
    }
    FillInputs(*window, port, options, credentials, workingDirectory);
    window->SetLeituraCompleta(!options.quick);
    RunCommand(*window, options.command);
    if (options.command == Command::Status) io.out << port.statusText() << '\n' << std::flush;
    if (options.command == Command::Rescue) return RescueExitStatus(window->UltimoResgate(), options.report, io);
    if (options.command == Command::Verify && !WriteVerificationReport(window->UltimaVerificacao(), options.report, io))
        return kExitFailure;
    return ExitStatus(options.command, port.outcome(), window->LastJobOutcome());
}

}  // namespace tovanel::cli
