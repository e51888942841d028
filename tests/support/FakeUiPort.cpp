#include "FakeUiPort.h"

#include <gtest/gtest.h>

#include "PlatformFiles.h"
#include "RescueJob.h"
#include "UFrmSobre.h"

namespace tovanel::testing {

namespace {

std::string Flag(bool value) {
    return value ? "true" : "false";
}

}  // namespace

const char* EditName(UiEdit edit) {
    switch (edit) {
        case UiEdit::LblEditBancodeDados: return "LblEditBancodeDados";
        case UiEdit::LblEdtUsuarioBD: return "LblEdtUsuarioBD";
        case UiEdit::MskEdtSenhaBD: return "MskEdtSenhaBD";
    }
    return "?";
}

FakeUiPort::FakeUiPort() = default;

void FakeUiPort::QueueAnswer(int button) {
    answers_.push_back([button](const MessageBoxCall&) { return button; });
}

void FakeUiPort::QueueAnswer(std::function<int(const MessageBoxCall&)> answer) {
    answers_.push_back(std::move(answer));
}

void FakeUiPort::QueueOpenDialog(std::optional<std::string> chosen) {
    openAnswers_.push_back(std::move(chosen));
}

void FakeUiPort::QueueSaveDialog(std::optional<std::string> chosen) {
    saveAnswers_.push_back(std::move(chosen));
}

bool FakeUiPort::AllAnswersUsed() const {
    return answers_.empty() && openAnswers_.empty() && saveAnswers_.empty();
}

std::string FakeUiPort::LogText() const {
    std::string text;
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (i > 0) text += '\n';
        text += log[i];
    }
    return text;
}

void FakeUiPort::AppendLog(const std::string& line) {
    calls.push_back("AppendLog(" + line + ")");
    log.push_back(line);
    if (onAppendLog) onAppendLog(line);
}

void FakeUiPort::ClearLog() {
    calls.push_back("ClearLog()");
    log.clear();
}

int FakeUiPort::ShowMessageBox(const std::string& text, const std::string& title,
                               MessageKind kind) {
    if (declineRescueOffer && text == kOfferRescue) {
        ++rescueOffersDeclined;
        return kButtonNo;
    }
    MessageBoxCall box{text, title, kind, 0, busyCursor, inputGroupEnabled, mainMenuEnabled,
                       log.size()};
    if (onMessageBox) onMessageBox(box);
    if (kind == MessageKind::Error) {
        box.answer = kButtonOk;
    } else if (answers_.empty()) {
        ADD_FAILURE() << "unanswered question box: " << title << " / " << text;
        box.answer = kButtonNo;
    } else {
        auto answer = std::move(answers_.front());
        answers_.pop_front();
        box.answer = answer(box);
    }
    calls.push_back("MessageBox(" + title + ", " + std::to_string(static_cast<int>(kind)) + ", " +
                    text + ")");
    messageBoxes.push_back(box);
    return box.answer;
}

void FakeUiPort::SetBusyCursor(bool busy) {
    calls.push_back("SetBusyCursor(" + Flag(busy) + ")");
    busyCursor = busy;
}

void FakeUiPort::SetInputGroupEnabled(bool enabled) {
    calls.push_back("SetInputGroupEnabled(" + Flag(enabled) + ")");
    inputGroupEnabled = enabled;
}

void FakeUiPort::SetMainMenuEnabled(bool enabled) {
    calls.push_back("SetMainMenuEnabled(" + Flag(enabled) + ")");
    mainMenuEnabled = enabled;
}

void FakeUiPort::SetOpenDialogInitialDir(const std::string& directory) {
    calls.push_back("SetOpenDialogInitialDir(" + directory + ")");
    openDialogInitialDir = directory;
}

void FakeUiPort::SetSaveDialogInitialDir(const std::string& directory) {
    calls.push_back("SetSaveDialogInitialDir(" + directory + ")");
    saveDialogInitialDir = directory;
}

std::optional<std::string> FakeUiPort::ShowOpenDialog() {
    calls.push_back("ShowOpenDialog()");
    ++openDialogsShown;
    if (openAnswers_.empty()) {
        ADD_FAILURE() << "unanswered open dialog";
        return std::nullopt;
    }
    auto chosen = std::move(openAnswers_.front());
    openAnswers_.pop_front();
    return chosen;
}

std::optional<std::string> FakeUiPort::ShowSaveDialog(const std::string& initialDir,
                                                      const std::string& proposedName,
                                                      FileFilter preselected) {
    calls.push_back("ShowSaveDialog(" + initialDir + ", " + proposedName + ")");
    saveDialogInitialDir = initialDir;
    saveDialogs.push_back({initialDir, proposedName, preselected});
    if (saveAnswers_.empty()) {
        ADD_FAILURE() << "unanswered save dialog";
        return std::nullopt;
    }
    auto chosen = std::move(saveAnswers_.front());
    saveAnswers_.pop_front();
    return chosen;
}

void FakeUiPort::ProcessPendingEvents() {
    ++pendingEventsProcessed;
    if (onProcessPendingEvents) onProcessPendingEvents();
}

void FakeUiPort::ProcessPendingEventsHoldingInput() {
    ++inputHeldPasses;
    ProcessPendingEvents();
}

std::string& FakeUiPort::EditSlot(UiEdit edit) {
    switch (edit) {
        case UiEdit::LblEditBancodeDados: return databasePath;
        case UiEdit::LblEdtUsuarioBD: return user;
        case UiEdit::MskEdtSenhaBD: break;
    }
    return password;
}

const std::string& FakeUiPort::EditSlot(UiEdit edit) const {
    return const_cast<FakeUiPort*>(this)->EditSlot(edit);
}

std::string FakeUiPort::EditText(UiEdit edit) const {
    return EditSlot(edit);
}

void FakeUiPort::SetEditText(UiEdit edit, const std::string& text) {
    calls.push_back(std::string("SetEditText(") + EditName(edit) + ", " + text + ")");
    EditSlot(edit) = text;
}

bool FakeUiPort::CheckBoxChecked() const {
    return checkBox;
}

void FakeUiPort::SetCheckBoxChecked(bool checked) {
    calls.push_back("SetCheckBoxChecked(" + Flag(checked) + ")");
    checkBox = checked;
}

void FakeUiPort::SetStatusColor(Rgb color) {
    calls.push_back("SetStatusColor(" + std::to_string(color.red) + "," +
                    std::to_string(color.green) + "," + std::to_string(color.blue) + ")");
    statusColor = color;
}

void FakeUiPort::SetStatusText(const std::string& text) {
    calls.push_back("SetStatusText(" + text + ")");
    statusText = text;
}

void FakeUiPort::ShowAboutBox(TFrmSobre& box) {
    calls.push_back("ShowAboutBox()");
    ++aboutBoxesShown;
    aboutBoxesSeen.push_back(&box);
    if (onShowAboutBox) onShowAboutBox(box);
}

bool FakeUiPort::ShellOpen(const std::string& url) {
    calls.push_back("ShellOpen(" + url + ")");
    shellOpened.push_back(url);
    return shellOpenSucceeds;
}

std::string FakeUiPort::ExecutablePath() const {
    return executablePath;
}

bool FakeUiPort::FileExists(const std::string& path) const {
    fileExistsAsked.push_back(path);
    return RegularFileExists(path);
}

bool FakeUiPort::RemoveFile(const std::string& path) {
    calls.push_back("RemoveFile(" + path + ")");
    removeFileAsked.push_back(path);
    return RemoveFileQuietly(path);
}

void FakeUiPort::RequestClose() {
    calls.push_back("RequestClose()");
    ++closeRequests;
    if (onRequestClose) onRequestClose();
}

}  // namespace tovanel::testing
