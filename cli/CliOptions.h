#pragma once
// The command line of the terminal front end: what the operator asked for, and where the
// credentials come from. Pure functions, no I/O beyond reading a password file.

#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace tovanel::cli {

enum class Command { Test, Verify, Repair, Status, Rescue };

struct CliOptions {
    Command command = Command::Status;
    std::string database;  // exactly as given; empty when omitted (the input check then says so)
    std::optional<std::string> user;
    std::optional<std::string> passwordFile;
    std::optional<std::string> password;  // given on the command line: visible to other users
    std::optional<std::string> output;    // the new database of a repair
    bool yes = false;
    bool noRepair = false;  // verify: the offer to repair is answered No without a question
    std::optional<std::string> report;  // rescue, verify: where its report goes as JSON
    bool quick = false;  // verify: the validation alone, without reading every record and blob
};

// What the command line asks for: run a command, show help or the version, or a usage error.
struct ParsedCommandLine {
    enum class Kind { Run, Help, Version, UsageError } kind = Kind::UsageError;
    CliOptions options;
    std::string error;  // for UsageError: what is wrong, one line
};

// args excludes the program name. Options may stand before or after the database; "--" ends
// the options. Long options take their value as "--name value" or "--name=value".
ParsedCommandLine ParseCommandLine(std::span<const std::string> args);

// A relative path put after a directory (with one "/" between them); an empty or absolute path,
// or an empty directory, leaves the path as it is.
std::string PathInDirectory(const std::string& path, const std::string& directory);

// The database path for the window's path edit. The server resolves a relative path against its
// own working directory, not the operator's, so the input check would test one file while the
// server opened another: a relative path is put after the current directory. Nothing else
// changes; a blank path stays as it is, for the input check to report.
std::string DatabasePathFromCurrentDirectory(const std::string& path, const std::string& workingDirectory);

// The usage text for --help (and the hint after a usage error).
std::string UsageText();

// The credentials to put into the user and password edits; an empty optional leaves the window's
// default there. Warnings are for standard error.
struct Credentials {
    std::optional<std::string> user;
    std::optional<std::string> password;
    std::vector<std::string> warnings;
};

// Thrown when a password file cannot be read.
class CredentialError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using EnvLookup = std::function<std::optional<std::string>(const std::string& name)>;

// --user, else ISC_USER; --password-file (or --password, with a warning), else ISC_PASSWORD.
// An empty environment variable counts as unset.
Credentials ResolveCredentials(const CliOptions& options, const EnvLookup& env);

// The password in a file: its first line without the line ending. Throws CredentialError.
std::string ReadPasswordFile(const std::string& path);

}  // namespace tovanel::cli
