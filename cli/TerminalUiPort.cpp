#include "TerminalUiPort.h"

#include "RescueJob.h"

#include <cstdio>
#include <filesystem>
#include <istream>
#include <ostream>

#include "AsciiCase.h"
#include "CliOptions.h"
#include "PlatformFiles.h"
#include "RescueJob.h"
#include "StopSignals.h"
#include "TextTrim.h"
#include "UFrmPrincipal.h"

namespace tovanel::cli {

namespace {

constexpr const char* kQuestionTitle = "Pergunta";
constexpr const char* kPrompt = " [y/N] ";
// Back to the line's start, and clear to its end: what the status line leaves behind.
constexpr const char* kEraseLine = "\r\x1b[K";
constexpr const char* kNoTerminal =
    "tovanel-cli: não há terminal para responder à pergunta; use --yes para responder Sim.";

}  // namespace

std::string TerminalText(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            shown += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\n') {
            continue;  // the LF that follows makes the break
        } else {
            shown += '\n';
        }
    }
    return shown;
}

std::string ServerSilenceText(ServerPhase phase, std::chrono::milliseconds elapsed) {
    const char* name = "";
    switch (phase) {
        case ServerPhase::Connection: name = "Conexão"; break;
        case ServerPhase::Validation: name = "Validação"; break;
        case ServerPhase::Sweep: name = "Varredura"; break;
        case ServerPhase::Mend: name = "Correção"; break;
        case ServerPhase::Backup: name = "Backup"; break;
        case ServerPhase::Restore: name = "Restauração"; break;
        case ServerPhase::ReadCheck: name = "Leitura completa"; break;
        case ServerPhase::Copy: name = "Cópia de trabalho"; break;
        case ServerPhase::Pump: name = "Leitura das tabelas"; break;
    }
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    char clock[32];
    std::snprintf(clock, sizeof clock, "%02lld:%02lld", seconds / 60, seconds % 60);
    return std::string(name) + ": aguardando o servidor... " + clock;
}

bool MeansYes(const std::string& answer) {
    const std::string word = AsciiLower(TrimLowCodes(answer));
    return word == "y" || word == "yes" || word == "s" || word == "sim";
}

TerminalUiPort::TerminalUiPort(TerminalIo io, bool answerYes, std::optional<std::string> output,
                               std::string workingDirectory)
    : io_(io),
      answerYes_(answerYes),
      output_(std::move(output)),
      workingDirectory_(std::move(workingDirectory)) {}

void TerminalUiPort::AppendLog(const std::string& line) {
    EraseStatusLine();
    // Flushed at once: whoever reads the other end of a pipe sees each line as the server sends it.
    io_.out << line << '\n' << std::flush;
}

// A terminal keeps what it has shown; each job starts its log with a clear, which needs nothing
// here.
void TerminalUiPort::ClearLog() {}

int TerminalUiPort::ShowMessageBox(const std::string& text, const std::string& title, MessageKind kind) {
    EraseStatusLine();
    if (declineRepairOffer_ && text == TFrmPrincipal::kOfferRepairText) return DeclineRepairOffer(text, title);
    // One command does one job: after a failed repair the rescue is its own command
    // (tovanel-cli rescue), so the offer is declined without a word and the repair's error box
    // stays the last thing it says.
    if (text == kOfferRescue || text == TFrmPrincipal::kOfferRescueText) return kButtonNo;
    if (kind != MessageKind::Error) return Ask(text, title) ? kButtonYes : kButtonNo;
    io_.err << title << ": " << TerminalText(text) << '\n' << std::flush;
    ++outcome_.errorBoxes;
    return kButtonOk;
}

int TerminalUiPort::DeclineRepairOffer(const std::string& text, const std::string& title) {
    io_.err << title << ": " << TerminalText(text) << kPrompt << "n (--no-repair)\n" << std::flush;
    outcome_.answers.push_back(false);
    return kButtonNo;
}

bool TerminalUiPort::Ask(const std::string& text, const std::string& title) {
    io_.err << title << ": " << TerminalText(text) << kPrompt;
    bool yes = false;
    if (answerYes_) {
        io_.err << "y\n";
        yes = true;
    } else if (!io_.interactive) {
        io_.err << '\n' << kNoTerminal << '\n';
        outcome_.stoppedWithoutTerminal = true;
    } else {
        io_.err << std::flush;
        std::string answer;
        if (std::getline(io_.in, answer)) {
            yes = MeansYes(answer);
        } else {
            io_.err << '\n';  // end of input: No, on a line of its own
        }
    }
    io_.err << std::flush;
    outcome_.answers.push_back(yes);
    return yes;
}

// Nothing to show: the terminal has no cursor, input group or menu to change.
void TerminalUiPort::SetBusyCursor(bool) {}
void TerminalUiPort::SetInputGroupEnabled(bool) {}
void TerminalUiPort::SetMainMenuEnabled(bool) {}
void TerminalUiPort::SetOpenDialogInitialDir(const std::string&) {}
void TerminalUiPort::SetSaveDialogInitialDir(const std::string&) {}

// The database comes from the command line; no command of the terminal opens this dialog.
std::optional<std::string> TerminalUiPort::ShowOpenDialog() {
    return std::nullopt;
}

std::optional<std::string> TerminalUiPort::ShowSaveDialog(const std::string& initialDir,
                                                          const std::string& proposedName, FileFilter) {
    const std::string chosen =
        PathInDirectory(output_ ? *output_ : PathInDirectory(proposedName, initialDir), workingDirectory_);
    std::error_code ignored;
    // The window's dialog asks before it accepts a file that is already there.
    if (std::filesystem::exists(chosen, ignored) &&
        !Ask("O arquivo " + chosen + " já existe.\rDeseja substituí-lo?", kQuestionTitle))
        return std::nullopt;
    io_.err << kSaveDialogTitle << ": " << chosen << '\n' << std::flush;
    outcome_.newFileChosen = true;
    return chosen;
}

// The jobs run to their end in one call; nothing else waits for events meanwhile.
void TerminalUiPort::ProcessPendingEvents() {}

// Rewritten in place: one line, however long the silence.
void TerminalUiPort::ShowServerSilence(ServerPhase phase, std::chrono::milliseconds elapsed) {
    if (!io_.statusLine) return;
    io_.err << '\r' << ServerSilenceText(phase, elapsed) << "\x1b[K" << std::flush;
    statusLineShown_ = true;
}

void TerminalUiPort::EndServerSilence() {
    EraseStatusLine();
}

bool TerminalUiPort::StopRequested() const {
    return CaughtStopSignal() != 0;
}

void TerminalUiPort::EraseStatusLine() {
    if (!statusLineShown_) return;
    io_.err << kEraseLine << std::flush;
    statusLineShown_ = false;
}

std::string TerminalUiPort::EditText(UiEdit edit) const {
    const auto found = edits_.find(edit);
    return found == edits_.end() ? std::string() : found->second;
}

void TerminalUiPort::SetEditText(UiEdit edit, const std::string& text) {
    edits_[edit] = text;
}

bool TerminalUiPort::CheckBoxChecked() const {
    return checkBox_;
}

void TerminalUiPort::SetCheckBoxChecked(bool checked) {
    checkBox_ = checked;
}

// The status is printed in words; its colour says the same.
void TerminalUiPort::SetStatusColor(Rgb) {}

void TerminalUiPort::SetStatusText(const std::string& text) {
    statusText_ = text;
}

void TerminalUiPort::ShowAboutBox(TFrmSobre&) {}

bool TerminalUiPort::ShellOpen(const std::string&) {
    return false;
}

std::string TerminalUiPort::ExecutablePath() const {
    return RunningExecutablePath();
}

bool TerminalUiPort::FileExists(const std::string& path) const {
    return RegularFileExists(path);
}

bool TerminalUiPort::RemoveFile(const std::string& path) {
    return RemoveFileQuietly(path);
}

void TerminalUiPort::RequestClose() {}

}  // namespace tovanel::cli
