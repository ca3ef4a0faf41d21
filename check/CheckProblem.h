// One problem the library check found, and where the check's problems go.
#pragma once

#include <string>
#include <string_view>

#include "platform/TextDecoder.h"

namespace tamboro {

enum class CheckKind { Duplicate, MissingFile, CaseMismatch, OutsideRoot, Unreadable, TooLarge };

// "duplicate", "missing-file", "case-mismatch", "outside-root", "unreadable",
// "too-large".
std::string_view CheckKindName(CheckKind kind);

struct CheckProblem {
    CheckKind kind;
    std::string folder;  // ending in "/", raw bytes
    std::string file;    // the chart's name; empty for a folder
    // duplicate: the MD5; missing-file, case-mismatch, outside-root: the name
    // as the chart writes it; unreadable: the reason; too-large: the size.
    std::string detail;
    // case-mismatch: the path found, relative to the folder.
    std::string found;
    // How the chart's own bytes read (for `detail` of the reference kinds).
    Charset charset = Charset::Utf8;
};

// Calls come from the thread that runs the check.
class CheckSink {
public:
    virtual ~CheckSink() = default;
    // A folder is about to be checked (for progress displays).
    virtual void FolderEntered(const std::string& folder) { (void)folder; }
    virtual void Report(const CheckProblem& problem) = 0;
};

}  // namespace tamboro
