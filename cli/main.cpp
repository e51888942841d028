// tovanel-cli: the window's three jobs and its server status, from a shell.

#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "CliRun.h"
#include "StopSignals.h"

namespace {

// A password given with -p stays readable in the process list for as long as the process runs;
// overwriting it in place at least shortens that time. The parser has its own copy by then.
void HidePasswordArgument(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        char* arg = argv[i];
        if ((std::strcmp(arg, "-p") == 0 || std::strcmp(arg, "--password") == 0) && i + 1 < argc) {
            std::memset(argv[i + 1], 'x', std::strlen(argv[i + 1]));
        } else if (std::strncmp(arg, "--password=", 11) == 0) {
            std::memset(arg + 11, 'x', std::strlen(arg + 11));
        }
    }
}

std::string WorkingDirectory() {
    std::error_code failed;
    auto directory = std::filesystem::current_path(failed);
    return failed ? std::string() : directory.string();
}

}  // namespace

int main(int argc, char* argv[]) {
    // Texts for the client library are converted to the locale's code set.
    std::setlocale(LC_ALL, "");
    // A reader that goes away (a pipe into head, say) must not end a repair half way: the lines
    // are lost, the job runs on.
    std::signal(SIGPIPE, SIG_IGN);

    const std::vector<std::string> args(argv + 1, argv + argc);
    HidePasswordArgument(argc, argv);
    // A rescue stops on an interrupt, a termination or a hang-up without leaving its files behind;
    // the other commands end at once, as any program does. Before any thread is made.
    if (const auto parsed = tovanel::cli::ParseCommandLine(args);
        parsed.kind == tovanel::cli::ParsedCommandLine::Kind::Run && parsed.options.command == tovanel::cli::Command::Rescue)
        tovanel::cli::CatchStopSignals();

    const tovanel::cli::EnvLookup env = [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (value == nullptr) return std::nullopt;
        return std::string(value);
    };
    tovanel::cli::TerminalIo io{std::cout, std::cerr, std::cin, ::isatty(STDIN_FILENO) == 1,
                                ::isatty(STDERR_FILENO) == 1};
    return tovanel::cli::RunCli(args, env, io, WorkingDirectory());
}
