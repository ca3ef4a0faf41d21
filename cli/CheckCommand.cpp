#include "cli/CheckCommand.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "check/LibraryCheck.h"
#include "cli/WriteAll.h"
#include "platform/DirectoryReader.h"
#include "results/CheckLine.h"

namespace tamboro {
namespace {

class PrintingCheckSink : public CheckSink {
public:
    explicit PrintingCheckSink(bool raw) : m_raw(raw) {}

    void Report(const CheckProblem& problem) override
    {
        AppendCheckLine(m_out, problem, m_raw);
        if (m_out.size() >= (1u << 16))
            Flush();
    }

    void Flush()
    {
        const int error = WriteAll(STDOUT_FILENO, m_out);
        m_out.clear();
        if (m_writeError == 0)
            m_writeError = error;
    }

    int WriteError() const { return m_writeError; }

private:
    const bool m_raw;
    std::string m_out;
    int m_writeError = 0;
};

}  // namespace

int RunCheckCommand(const std::string& root, bool raw, const ChartTypes& types, StateWord state, ChartIndex* index)
{
    PrintingCheckSink sink(raw);
    CheckOptions options;
    options.state = state;
    options.types = types;
    options.index = index;
    const int error = LibraryCheck(sink, std::move(options)).Run(root);
    sink.Flush();
    if (IsOutOfDescriptors(error)) {
        std::fprintf(stderr, "tamboro-scan: out of open files, check of '%s' not complete (raise ulimit -n): %s\n",
                     root.c_str(), std::strerror(error));
        return 1;
    }
    if (error != 0) {
        std::fprintf(stderr, "tamboro-scan: cannot read folder '%s': %s\n", root.c_str(), std::strerror(error));
        return 1;
    }
    if (sink.WriteError() != 0) {
        std::fprintf(stderr, "tamboro-scan: cannot write the problems: %s\n", std::strerror(sink.WriteError()));
        return 1;
    }
    return state.Load() == SS_STOP ? 130 : 0;
}

}  // namespace tamboro
