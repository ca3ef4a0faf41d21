// The two kinds of quit code the window posts: to a worker's thread, which
// ends with it, and to the window's own loop, which ends the program with it.
#pragma once

namespace tamboro {

// A worker thread's exit code, posted by the window.
enum class WorkerQuitCode : int {
    StopRequested = 13,   // Stop, or a close during a search
    SearchFinished = 14,  // the window saw the search end (or the program ends)
};

// The program's exit code, ending the window's loop.
enum class ExitCode : int {
    SetupFailed = 0,        // the state block could not be set up
    ClosedIdle = 3,         // closed while no search ran
    ClosedAfterSearch = 4,  // closed once a running search had unwound
};

constexpr int CodeOf(WorkerQuitCode code)
{
    return static_cast<int>(code);
}

constexpr int CodeOf(ExitCode code)
{
    return static_cast<int>(code);
}

}  // namespace tamboro
