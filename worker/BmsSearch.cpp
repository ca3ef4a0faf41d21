#include "worker/BmsSearch.h"

#include <cerrno>

#include <QMetaObject>
#include <QThread>
#include <iterator>
#include <optional>

#include "library/IndexLocation.h"
#include "library/SqliteChartIndex.h"
#include "search/FolderScan.h"

namespace tamboro {

// Hands the scan's results to the window. Each call adds whole folders'
// rows, complete and in the order found, and then sets the latest title.
// The first folder goes over as soon as it is done; after that, folders
// done within one hand-over period of the last call travel together in the
// next call, which goes when the period has passed (checked as folders are
// entered and finished) or when the scan ends. A 20,000-chart search thus
// makes a few dozen round trips to the window's thread, not one per folder,
// chart or cell, and a row never arrives without its texts.
class WindowSink : public ScanSink {
public:
    using Clock = std::chrono::steady_clock;

    WindowSink(CBmsSearch& search, std::chrono::milliseconds period) : m_search(search), m_period(period) {}

    void FolderEntered(const std::string&) override
    {
        if (HasPending() && Due())
            HandOver();
    }

    void AddRows(std::vector<ChartRow>& rows) override
    {
        if (m_rows.empty())
            m_rows.swap(rows);
        else
            std::move(rows.begin(), rows.end(), std::back_inserter(m_rows));
        rows.clear();
    }

    void SetTitle(const std::string& title) override
    {
        m_title = title;
        m_titlePending = true;
        if (Due())
            HandOver();
    }

    // The scan is over: whatever is left goes now.
    void Finish()
    {
        if (HasPending())
            HandOver();
    }

private:
    bool HasPending() const { return m_titlePending || !m_rows.empty(); }

    bool Due() const { return !m_lastCall || Clock::now() - *m_lastCall >= m_period; }

    void HandOver()
    {
        SearchWindow* owner = m_search.m_pOwner;
        std::vector<ChartRow>& rows = m_rows;
        const std::string* title = m_titlePending ? &m_title : nullptr;
        m_search.CallWindow([owner, &rows, title] {
            if (!rows.empty())
                owner->AddRows(rows);
            if (title != nullptr)
                owner->SetTitleBytes(*title);
        });
        m_rows.clear();
        m_titlePending = false;
        m_lastCall = Clock::now();
    }

    CBmsSearch& m_search;
    const std::chrono::milliseconds m_period;
    std::vector<ChartRow> m_rows;
    std::string m_title;
    bool m_titlePending = false;
    std::optional<Clock::time_point> m_lastCall;
};

CBmsSearch::CBmsSearch(SearchWindow& owner, std::string root, const SharedStateBlock& block)
    : m_pOwner(&owner), m_strRoot(std::move(root))
{
    m_block.ShareHandleOf(block);
}

CBmsSearch::~CBmsSearch() = default;

void CBmsSearch::CallWindow(const std::function<void()>& call)
{
    CallOnThreadOf(m_pOwner->Context(), call);
}

std::unique_ptr<SqliteChartIndex> CBmsSearch::OpenIndex() const
{
    std::string file;
    if (DefaultIndexFile(m_strRoot, file) != 0)
        return nullptr;
    // A damaged index in the cache folder is rebuilt; one that cannot be
    // opened leaves the search to run without it.
    return SqliteChartIndex::Open(file, m_strRoot, m_choices.types, true).index;
}

bool CBmsSearch::InitInstance()
{
    if (m_startHook)
        m_startHook();

    // The window's own block, not whatever the name leads to now: the file
    // may have been removed or replaced since the window set it up, and the
    // window's Stop and watch timer go to the block it holds.
    const SharedStateBlock::Result opened = m_block.MapShared();
    if (opened != SharedStateBlock::Result::Ok) {
        const char* message = SharedStateBlock::OpenFailureMessage(opened);
        SearchWindow* owner = m_pOwner;
        CallWindow([owner, message] { owner->ShowStateBlockError(message); });
        return false;
    }
    const StateWord word = m_block.Word();
    word.Store(SS_RUNNING);

    SearchWindow* owner = m_pOwner;
    CallWindow([owner] {
        owner->EnableSearchButton(false);
        owner->EnableStopButton(true);
    });

    WindowSink sink(*this, m_handOverPeriod);
    ScanOptions options;
    options.state = word;
    // At program end the window asks this thread to stop through a flag of
    // its own: the shared word may read idle (another process wrote it)
    // while this scan still runs, and writing SS_STOP there could stop
    // another instance's new search instead.
    options.stop = &StopFlag();
    options.rowLimit = kRowLimit;
    options.types = m_choices.types;
    options.hashes = m_choices.digests;
    options.readers = FolderScan::DefaultReaders();
    const std::unique_ptr<SqliteChartIndex> index = m_choices.index ? OpenIndex() : nullptr;
    options.index = index.get();
    FolderScan scan(sink, std::move(options));
    // A scan that ran out of descriptors part way has listed the rows it
    // found until then; the window says that the list is not whole.
    const int error = scan.Run(m_strRoot);
    sink.Finish();
    if (error == EMFILE || error == ENFILE)
        CallWindow([owner] { owner->ScanCutShort(); });
    // Once the rows are shown. An index that cannot be written is the
    // cache's loss only: the window says nothing of it.
    if (index != nullptr)
        index->Save(error == 0 && !StopRequested(word, &StopFlag()));
    m_nCount = scan.Count();

    CallWindow([owner] {
        owner->EnableSearchButton(true);
        owner->EnableStopButton(false);
    });
    word.Store(SS_IDLE);
    m_block.CloseHandle();  // the view stays mapped until the worker goes
    return true;
}

int CBmsSearch::ExitInstance(int code)
{
    return WorkerThread::ExitInstance(code);
}

}  // namespace tamboro
