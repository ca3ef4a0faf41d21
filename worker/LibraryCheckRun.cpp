#include "worker/LibraryCheckRun.h"

#include "check/LibraryCheck.h"

namespace tamboro {

class LibraryCheckRun::Sink : public CheckSink {
public:
    explicit Sink(LibraryCheckRun& run) : m_run(run) {}

    void FolderEntered(const std::string& folder) override
    {
        std::lock_guard lock(m_run.m_mutex);
        m_run.m_folder = folder;
    }

    void Report(const CheckProblem& problem) override
    {
        std::lock_guard lock(m_run.m_mutex);
        m_run.m_problems.push_back(problem);
    }

private:
    LibraryCheckRun& m_run;
};

LibraryCheckRun::LibraryCheckRun(std::string root, ChartTypes types, QObject* parent) : QObject(parent)
{
    m_thread = std::thread([this, root = std::move(root), types = std::move(types)] { Run(root, types); });
}

LibraryCheckRun::~LibraryCheckRun()
{
    Stop();
    m_thread.join();
}

void LibraryCheckRun::Run(const std::string& root, const ChartTypes& types)
{
    Sink sink(*this);
    CheckOptions options;
    options.stop = &m_stop;
    options.types = types;
    const int error = LibraryCheck(sink, std::move(options)).Run(root);
    const bool stopped = m_stop.load();
    m_running.store(false);
    // Delivered on the run's own thread; dropped if the run is gone by then.
    QMetaObject::invokeMethod(
        this, [this, error, stopped] { emit Finished(error, stopped); }, Qt::QueuedConnection);
}

std::vector<CheckProblem> LibraryCheckRun::TakeProblems()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_problems, {});
}

std::string LibraryCheckRun::CurrentFolder()
{
    std::lock_guard lock(m_mutex);
    return m_folder;
}

}  // namespace tamboro
