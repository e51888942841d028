#pragma once
// How the last job command ended, for the front ends: they read it instead of reading meaning
// into the log or the window's fields.

namespace tovanel {

enum class JobOutcome {
    Succeeded,      // the job did what it was asked: connected, found no error, repaired
    FoundProblems,  // the verification listed errors and no repair followed that ended well
    Failed,         // a check, the server or the file system refused; an error box said why
    Cancelled,      // a question was answered No or a dialog was cancelled
};

}  // namespace tovanel
