#pragma once
// The UI port on a terminal. The log goes to standard output, a line at a time and flushed at
// once; every message box goes to standard error as "title: text", each CR of the text a line
// break. Questions are answered by --yes, or on a terminal by the operator (No by default); with
// neither, the question is answered No and the run is marked as stopped. The save dialog is
// answered by --output or by the name the console proposes. The port records what happened, so
// the front end can choose its exit status.

#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "UiPort.h"

namespace tovanel::cli {

struct TerminalIo {
    std::ostream& out;  // the log
    std::ostream& err;  // message boxes, questions, warnings
    std::istream& in;   // answers to questions
    bool interactive;   // `in` is a terminal where someone can answer
    // `err` is a terminal: while the server is silent, one status line there says what it does.
    // Never on a pipe or a file, whose reader gets exactly the lines and boxes.
    bool statusLine = false;
};

// What the run showed and answered, in order.
struct Outcome {
    int errorBoxes = 0;
    bool stoppedWithoutTerminal = false;  // a question came with nobody to answer it
    std::vector<bool> answers;            // each question's answer: true for Yes
    bool newFileChosen = false;           // the save dialog was answered with a file
};

class TerminalUiPort : public UiPort {
public:
    // `workingDirectory` makes a relative file name absolute, as a file dialog returns full paths.
    TerminalUiPort(TerminalIo io, bool answerYes, std::optional<std::string> output,
                   std::string workingDirectory);

    const Outcome& outcome() const { return outcome_; }
    const std::string& statusText() const { return statusText_; }
    // The verification's offer to repair is answered No without a question (--no-repair).
    void SetDeclineRepairOffer(bool decline) { declineRepairOffer_ = decline; }

    void AppendLog(const std::string& line) override;
    void ClearLog() override;
    int ShowMessageBox(const std::string& text, const std::string& title, MessageKind kind) override;
    void SetBusyCursor(bool busy) override;
    void SetInputGroupEnabled(bool enabled) override;
    void SetMainMenuEnabled(bool enabled) override;
    void SetOpenDialogInitialDir(const std::string& directory) override;
    void SetSaveDialogInitialDir(const std::string& directory) override;
    std::optional<std::string> ShowOpenDialog() override;
    std::optional<std::string> ShowSaveDialog(const std::string& initialDir,
                                              const std::string& proposedName,
                                              FileFilter preselected) override;
    void ProcessPendingEvents() override;
    void ShowServerSilence(ServerPhase phase, std::chrono::milliseconds elapsed) override;
    void EndServerSilence() override;
    // A stop signal caught (StopSignals.h).
    bool StopRequested() const override;
    std::string EditText(UiEdit edit) const override;
    void SetEditText(UiEdit edit, const std::string& text) override;
    bool CheckBoxChecked() const override;
    void SetCheckBoxChecked(bool checked) override;
    void SetStatusColor(Rgb color) override;
    void SetStatusText(const std::string& text) override;
    void ShowAboutBox(TFrmSobre& box) override;
    bool ShellOpen(const std::string& url) override;
    std::string ExecutablePath() const override;
    bool FileExists(const std::string& path) const override;
    bool RemoveFile(const std::string& path) override;
    void RequestClose() override;

    // The title the save dialog carries in the window; the terminal shows it with the answer.
    static constexpr const char* kSaveDialogTitle = "Informe o novo arquivo a ser gerado";

private:
    bool Ask(const std::string& text, const std::string& title);
    // Removes the status line, if one is shown, before anything else is written.
    void EraseStatusLine();
    int DeclineRepairOffer(const std::string& text, const std::string& title);

    TerminalIo io_;
    bool answerYes_;
    std::optional<std::string> output_;
    std::string workingDirectory_;
    std::map<UiEdit, std::string> edits_;
    bool declineRepairOffer_ = false;
    bool checkBox_ = true;  // ticked when the window is created
    std::string statusText_;
    Outcome outcome_;
    bool statusLineShown_ = false;
};

// The status line's text: the phase and the time since it began, minutes and seconds.
std::string ServerSilenceText(ServerPhase phase, std::chrono::milliseconds elapsed);

// A message text for the terminal: each lone CR (and a CR LF pair) becomes one line break.
std::string TerminalText(const std::string& text);

// Whether an answer typed at a y/N prompt means Yes: y, yes, s, sim, in any case.
bool MeansYes(const std::string& answer);

}  // namespace tovanel::cli
