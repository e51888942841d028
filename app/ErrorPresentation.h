#pragma once
// What the application-wide failure handler shows for a failure: a short Portuguese explanation
// for the commonest server complaints, or the message itself; and, for a failure from the
// server, the server's own lines for the log, so the explanation never hides the cause.

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tovanel {

// The accounts the database server runs as; asked only when a text names them.
using ServerAccountsLookup = std::function<std::vector<std::string>()>;

struct ChosenText {
    std::string box;                     // the error box's text ("\r" breaks its lines)
    std::optional<std::string> logLine;  // the explanation as one log line, where one is kept
};

// A file of another on-disk structure, or a file the server's account may not open: the two
// causes a server's text names, explained; nothing for any other text.
std::optional<ChosenText> ExplainNamedCause(const std::string& message, const ServerAccountsLookup& accounts = {});

// The first rule that matches the message chooses the text.
ChosenText ChooseFailureText(const std::string& message, const ServerAccountsLookup& accounts = {});

// The box's text alone.
std::string TextForFailure(const std::string& message, const ServerAccountsLookup& accounts = {});

// A failure the server reported (as against one of the access layer's own checks or any other).
bool IsServerFailure(const std::exception& failure) noexcept;

// The lines of a server's message as the access layer joined them (CR LF between lines).
std::vector<std::string> ServerLines(const std::string& message);

struct FailurePresentation {
    std::string box;
    std::vector<std::string> logLines;  // written to the log after the box: the explanation
                                        // line, if any, then the server's own lines
};

FailurePresentation PresentFailure(const std::exception& failure, const ServerAccountsLookup& accounts);

}  // namespace tovanel
