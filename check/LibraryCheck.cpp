#include "check/LibraryCheck.h"

#include <algorithm>
#include <thread>

#include "check/DuplicateFinder.h"

namespace tamboro {

std::string_view CheckKindName(CheckKind kind)
{
    switch (kind) {
    case CheckKind::Duplicate:
        return "duplicate";
    case CheckKind::MissingFile:
        return "missing-file";
    case CheckKind::CaseMismatch:
        return "case-mismatch";
    case CheckKind::OutsideRoot:
        return "outside-root";
    case CheckKind::Unreadable:
        return "unreadable";
    case CheckKind::TooLarge:
        return "too-large";
    }
    return "";
}

LibraryCheck::LibraryCheck(CheckSink& sink, CheckOptions options) : m_sink(sink), m_options(std::move(options))
{}

int LibraryCheck::Run(const std::string& root)
{
    // As the walk spells the folders below it.
    m_rootPath = root.ends_with('/') ? root : root + '/';
    const int threads =
        m_options.threads > 0 ? m_options.threads : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i)
        workers.emplace_back([this] { WorkerLoop(); });
    const int error = FolderWalk(*this).Run(root);
    ReportUntil(0);
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_workToDo.notify_all();
    for (std::thread& worker : workers)
        worker.join();
    if (error != 0 || StopRequested())
        return error;

    for (const DuplicateGroup& group : FindDuplicates(
             m_charts, [this] { return StopRequested(); }, m_options.index)) {
        for (const std::size_t chart : group.charts)
            m_sink.Report(CheckProblem{CheckKind::Duplicate, m_charts[chart].folder, m_charts[chart].file, group.md5,
                                       std::string(), Charset::Utf8});
    }
    return 0;
}

bool LibraryCheck::StopRequested()
{
    return tamboro::StopRequested(m_options.state, m_options.stop);
}

void LibraryCheck::Entered(const std::string& path)
{
    m_sink.FolderEntered(path);
}

void LibraryCheck::Finished(DirectoryListing& listing, const std::string& path)
{
    auto job = std::make_unique<FolderJob>();
    job->path = path;
    job->listing = std::move(listing);
    Enqueue(std::move(job));
}

void LibraryCheck::Unreadable(const std::string& path, int error)
{
    auto job = std::make_unique<FolderJob>();
    job->path = path;
    job->claimed = job->done = true;
    job->result.problems.push_back(CheckProblem{CheckKind::Unreadable, path, std::string(), UnreadableReason(error),
                                                std::string(), Charset::Utf8});
    Enqueue(std::move(job));
}

bool LibraryCheck::FreeDescriptors()
{
    ReportUntil(0);
    return true;
}

void LibraryCheck::Enqueue(std::unique_ptr<FolderJob> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_workToDo.notify_one();
    ReportUntil(kMaxFoldersInFlight);
}

void LibraryCheck::ReportUntil(std::size_t left)
{
    for (;;) {
        std::unique_ptr<FolderJob> job;
        {
            std::unique_lock lock(m_mutex);
            if (m_jobs.empty() || (m_jobs.size() <= left && !m_jobs.front()->done))
                return;
            m_jobDone.wait(lock, [this] { return m_jobs.front()->done; });
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        for (const CheckProblem& problem : job->result.problems)
            m_sink.Report(problem);
        for (CheckedChart& chart : job->result.charts)
            m_charts.push_back(std::move(chart));
    }
}

void LibraryCheck::WorkerLoop()
{
    FolderCheck check;
    const auto stop = [this] { return StopRequested(); };
    std::unique_lock lock(m_mutex);
    for (;;) {
        FolderJob* job = nullptr;
        m_workToDo.wait(lock, [&] {
            for (const auto& waiting : m_jobs) {
                if (!waiting->claimed) {
                    job = waiting.get();
                    return true;
                }
            }
            return m_ending;
        });
        if (job == nullptr)
            return;
        job->claimed = true;
        lock.unlock();
        const auto levelsBelowRoot =
            static_cast<std::size_t>(std::count(job->path.begin() + m_rootPath.size(), job->path.end(), '/'));
        FolderCheckResult result = check.Run(job->listing, job->path, levelsBelowRoot, m_options.types, stop);
        job->listing.Close();
        lock.lock();
        job->result = std::move(result);
        job->done = true;
        m_jobDone.notify_all();
    }
}

}  // namespace tamboro
