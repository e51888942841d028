#pragma once
// A scripted stand-in for the user interface, for driving TFrmPrincipal in tests.
//
// Answers: questions (Yes/No boxes) and the two file dialogs take their answers from queues the
// test fills beforehand; an error box needs no answer (it has only OK). A question or dialog with
// an empty queue fails the running test and answers No / cancel.
// Records: every call that changes something, in order, in `calls`; the message boxes with the
// window's state at the moment each was shown; the log's current lines; the inputs; the cursor.
// Hooks let a test act at chosen moments: inside ProcessPendingEvents (e.g. a close request or a
// second command during a job), when a box is shown, when the About box is shown, on a close
// request.
// The file system is the real one: FileExists and RemoveFile act on actual files.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "UiPort.h"

namespace tovanel::testing {

struct MessageBoxCall {
    std::string text;
    std::string title;
    MessageKind kind;
    int answer = 0;
    // The window's state while the box was up.
    bool busyCursor = false;
    bool inputGroupEnabled = true;
    bool mainMenuEnabled = true;
    std::size_t logLines = 0;
};

struct SaveDialogCall {
    std::string initialDir;
    std::string proposedName;
    FileFilter preselected;
};

class FakeUiPort : public UiPort {
public:
    FakeUiPort();

    // ---- scripting -----------------------------------------------------------------------
    void QueueAnswer(int button);  // next Yes/No box
    void QueueAnswer(std::function<int(const MessageBoxCall&)> answer);
    void QueueOpenDialog(std::optional<std::string> chosen);  // nullopt: cancel
    void QueueSaveDialog(std::optional<std::string> chosen);
    bool AllAnswersUsed() const;

    std::function<void()> onProcessPendingEvents;
    std::function<void(const std::string&)> onAppendLog;  // after the line is logged; may raise
    std::function<void(const MessageBoxCall&)> onMessageBox;  // every box, before it answers
    std::function<void(TFrmSobre&)> onShowAboutBox;  // may raise, as a failing show would
    std::function<void()> onRequestClose;

    std::string executablePath = "/opt/tovanel/bin/tovanel";
    bool shellOpenSucceeds = true;
    // The rescue offered after a failed repair is answered No without taking a queued answer, so
    // tests of other jobs need not script it; they are counted here. A rescue test sets false.
    bool declineRescueOffer = true;
    int rescueOffersDeclined = 0;

    // ---- the window's state --------------------------------------------------------------
    std::string databasePath;
    std::string user;
    std::string password;
    bool checkBox = true;  // ticked when the window is created
    bool busyCursor = false;
    bool inputGroupEnabled = true;
    bool mainMenuEnabled = true;
    std::vector<std::string> log;
    std::string statusText;
    std::optional<Rgb> statusColor;
    std::string openDialogInitialDir;
    std::string saveDialogInitialDir;

    // ---- records -------------------------------------------------------------------------
    std::vector<std::string> calls;
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<SaveDialogCall> saveDialogs;
    int openDialogsShown = 0;
    int aboutBoxesShown = 0;
    std::vector<const TFrmSobre*> aboutBoxesSeen;
    std::vector<std::string> shellOpened;
    mutable std::vector<std::string> fileExistsAsked;
    std::vector<std::string> removeFileAsked;
    int closeRequests = 0;
    int pendingEventsProcessed = 0;
    int inputHeldPasses = 0;  // of those, the ones that kept keyboard and mouse input queued

    // The log as one text, lines joined with "\n", for compact assertions.
    std::string LogText() const;

    // ---- UiPort ---------------------------------------------------------------------------
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
    void ProcessPendingEventsHoldingInput() override;
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

private:
    std::string& EditSlot(UiEdit edit);
    const std::string& EditSlot(UiEdit edit) const;

    std::deque<std::function<int(const MessageBoxCall&)>> answers_;
    std::deque<std::optional<std::string>> openAnswers_;
    std::deque<std::optional<std::string>> saveAnswers_;
};

const char* EditName(UiEdit edit);

}  // namespace tovanel::testing
