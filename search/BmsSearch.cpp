#include "search/BmsSearch.h"

#include <QMetaObject>
#include <QThread>

namespace tamboro {

// Hands the scan's results to the window: after each folder, one call
// that adds all of its rows, complete and in the order found, and then sets
// the title. One round trip to the window's thread per folder, not one per
// chart or per cell.
class WindowSink : public ScanSink {
public:
    explicit WindowSink(CBmsSearch& search) : m_search(search) {}

    // The scan always follows a folder's rows with its title.
    void AddRows(std::vector<ChartRow>& rows) override { m_rows.swap(rows); }

    void SetTitle(const std::string& title) override
    {
        SearchWindow* owner = m_search.m_pOwner;
        std::vector<ChartRow>& rows = m_rows;
        m_search.CallWindow([owner, &rows, &title] {
            if (!rows.empty())
                owner->AddRows(rows);
            owner->SetTitleBytes(title);
        });
        m_rows.clear();
    }

    // Rows that no title followed (not expected from the scan).
    void Finish()
    {
        if (m_rows.empty())
            return;
        SearchWindow* owner = m_search.m_pOwner;
        std::vector<ChartRow>& rows = m_rows;
        m_search.CallWindow([owner, &rows] { owner->AddRows(rows); });
        m_rows.clear();
    }

private:
    CBmsSearch& m_search;
    std::vector<ChartRow> m_rows;
};

CBmsSearch::CBmsSearch(SearchWindow& owner, std::string root, std::string blockName)
    : m_pOwner(&owner), m_strRoot(std::move(root)), m_blockName(std::move(blockName))
{
}

CBmsSearch::~CBmsSearch() = default;

void CBmsSearch::CallWindow(const std::function<void()>& call)
{
    QObject* context = m_pOwner->Context();
    if (QThread::currentThread() == context->thread())
        call();
    else
        QMetaObject::invokeMethod(context, call, Qt::BlockingQueuedConnection);
}

bool CBmsSearch::InitInstance()
{
    if (m_startHook)
        m_startHook();

    const SharedStateBlock::Result opened = m_block.Open(m_blockName.c_str());
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

    WindowSink sink(*this);
    FolderScan scan(sink, word, kRowLimit);
    std::string root = m_strRoot;
    scan.Run(root);
    sink.Finish();
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
