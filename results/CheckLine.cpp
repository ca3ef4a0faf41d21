#include "results/CheckLine.h"

#include "platform/TextDecoder.h"
#include "results/RowPrinter.h"

namespace tamboro {

CheckCells CheckCellsOf(const CheckProblem& problem, bool raw)
{
    if (raw)
        return CheckCells{problem.folder, problem.file, problem.detail, problem.found};
    // Named files read as the chart that names them; a duplicate's MD5 and
    // an unreadable entry's reason are plain text.
    const bool named = problem.kind == CheckKind::MissingFile || problem.kind == CheckKind::CaseMismatch ||
                       problem.kind == CheckKind::OutsideRoot;
    return CheckCells{DecodePathToUtf8(problem.folder), DecodePathToUtf8(problem.file),
                      named ? DecodeToUtf8(problem.detail, problem.charset) : problem.detail,
                      DecodePathToUtf8(problem.found)};
}

void AppendCheckLine(std::string& out, const CheckProblem& problem, bool raw)
{
    const CheckCells cells = CheckCellsOf(problem, raw);
    out.append(CheckKindName(problem.kind));
    for (const std::string* field : {&cells.folder, &cells.file, &cells.detail}) {
        out += '\t';
        AppendEscaped(out, *field);
    }
    if (problem.kind == CheckKind::CaseMismatch) {
        out += '\t';
        AppendEscaped(out, cells.found);
    }
    out += '\n';
}

}  // namespace tamboro
