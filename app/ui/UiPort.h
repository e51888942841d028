#pragma once
// The user-interface operations the console's logic needs. TFrmPrincipal and TFrmSobre talk to
// the screen only through this interface, so the same logic runs behind the Qt window, behind a
// terminal front end, and behind a scripted fake in tests. Plain C++: no toolkit type may appear
// here. Every text is UTF-8; a line break inside a message text is a lone carriage return.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tovanel {

class TFrmSobre;

// Message-box kinds, by their historical flag values.
enum class MessageKind : int {
    Error = 16,               // one OK button, error icon
    Confirmation = 292,       // Yes and No, question icon, No preselected
    QuestionYesDefault = 36,  // Yes and No, question icon, Yes preselected
};

// Values a message box returns for the button that closed it. Only kButtonYes lets a question
// proceed.
inline constexpr int kButtonOk = 1;
inline constexpr int kButtonYes = 6;
inline constexpr int kButtonNo = 7;

// The three single-line edits of the input group.
enum class UiEdit {
    LblEditBancodeDados,  // database path
    LblEdtUsuarioBD,      // user name; holds upper-case text
    MskEdtSenhaBD,        // password; echoes one "*" per character
};

// The two entries of the database-file filter list, in list order.
enum class FileFilter {
    Firebird,   // *.FDB
    Interbase,  // *.GDB
};

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// What a job is waiting for the server to do.
enum class ServerPhase {
    Connection,  // the connection test's attach
    Validation,  // the verification
    Sweep,       // the repair's four passes
    Mend,
    Backup,
    Restore,
    ReadCheck,   // the verification's read of every record and blob
    Copy,    // the rescue's working copy
    Pump,    // the rescue's row-by-row reading
};

class UiPort {
public:
    virtual ~UiPort() = default;

    // Progress log (MemoProgresso). The text becomes the new last line, unchanged.
    virtual void AppendLog(const std::string& line) = 0;
    virtual void ClearLog() = 0;

    // Modal over the main window; blocks until answered; returns the button value. (Named so as
    // not to collide with the Windows API's macros, as RemoveFile below.)
    virtual int ShowMessageBox(const std::string& text, const std::string& title, MessageKind kind) = 0;

    // Application-wide hour-glass cursor: one setting, not a counter; the last call wins.
    virtual void SetBusyCursor(bool busy) = 0;

    // The input group (GrpBxDadosServidor, with everything inside it) and the main menu.
    virtual void SetInputGroupEnabled(bool enabled) = 0;
    virtual void SetMainMenuEnabled(bool enabled) = 0;

    // File dialogs. Both return the chosen full path, or nothing when the user cancelled. The save
    // dialog appends ".FDB" to a typed name without extension and asks before accepting an
    // existing file.
    virtual void SetOpenDialogInitialDir(const std::string& directory) = 0;
    virtual void SetSaveDialogInitialDir(const std::string& directory) = 0;
    virtual std::optional<std::string> ShowOpenDialog() = 0;
    virtual std::optional<std::string> ShowSaveDialog(const std::string& initialDir,
                                                      const std::string& proposedName,
                                                      FileFilter preselected) = 0;

    // Dispatches the input, paint and timer events queued so far, then returns. Handlers (commands,
    // the close request, the timer) may run nested inside this call.
    virtual void ProcessPendingEvents() = 0;
    // The same, but keyboard and mouse input stays queued for a later full pass: for waits while
    // the inputs are still enabled, so that nothing typed or clicked changes them under a running
    // step. A port whose input cannot change anything there keeps this as it is.
    virtual void ProcessPendingEventsHoldingInput() { ProcessPendingEvents(); }

    // While a job's server call has been silent for over a second: the phase and the time since
    // it began, about once a second; EndServerSilence when the call has ended. Nothing of it goes
    // into the log. A front end whose busy cursor says enough keeps these as they are.
    virtual void ShowServerSilence(ServerPhase /*phase*/, std::chrono::milliseconds /*elapsed*/) {}
    virtual void EndServerSilence() {}

    // Whether the operator has asked the running job to stop (a terminal's interrupt, termination
    // or hang-up signal). A job that can stop cleanly asks between its server calls; the window
    // never asks a job to stop. May be asked from any thread.
    virtual bool StopRequested() const { return false; }

    // The inputs.
    virtual std::string EditText(UiEdit edit) const = 0;
    virtual void SetEditText(UiEdit edit, const std::string& text) = 0;
    virtual bool CheckBoxChecked() const = 0;  // ChckBxUsuarioSenhaPadrao
    virtual void SetCheckBoxChecked(bool checked) = 0;

    // The server status line (LblStatusFBServer).
    virtual void SetStatusColor(Rgb color) = 0;
    virtual void SetStatusText(const std::string& text) = 0;

    // Shows the About box for this freshly made box's logic and returns when it is closed.
    virtual void ShowAboutBox(TFrmSobre& box) = 0;

    // Opens a web address with the desktop's default handler; false when that failed.
    virtual bool ShellOpen(const std::string& url) = 0;

    // File system.
    virtual std::string ExecutablePath() const = 0;
    // True for a regular file (also one held open or locked), symbolic links followed; false for
    // a directory or a path that cannot be resolved. The path is used exactly as given.
    virtual bool FileExists(const std::string& path) const = 0;
    // Reports failure by returning false; never raises.
    virtual bool RemoveFile(const std::string& path) = 0;

    // Asks the main window to close; the window's close query may refuse.
    virtual void RequestClose() = 0;
};

}  // namespace tovanel
