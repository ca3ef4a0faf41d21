#include "dialog/PendingResults.h"

#include <QWidget>
#include <cstdlib>
#include <iterator>
#include <string_view>

#include "dialog/RowLimitNote.h"
#include "models/ResultModel.h"
#include "platform/TextDecoder.h"

namespace tamboro {
namespace {

// The search's title ("Tamboro - 19 [R/]", FormatTitle's) with its count
// changed by `countChange`.
std::string CountedTitle(const std::string& title, int countChange)
{
    constexpr std::string_view kPrefix = "Tamboro - ";
    const std::size_t folder = title.find(" [");
    if (countChange == 0 || title.compare(0, kPrefix.size(), kPrefix) != 0 || folder == std::string::npos)
        return title;
    const long count = std::strtol(title.c_str() + kPrefix.size(), nullptr, 10) + countChange;
    return std::string(kPrefix) + std::to_string(count) + title.substr(folder);
}

}  // namespace

PendingResults::PendingResults(ResultModel& model, QWidget& window, RowLimitNote& note, QObject* parent)
    : QObject(parent), m_model(model), m_window(window), m_note(note)
{
    m_showTimer.setSingleShot(true);
    m_showTimer.setInterval(kShowPeriodMs);
    connect(&m_showTimer, &QTimer::timeout, this, &PendingResults::Show);
    connect(&m_model, &ResultModel::FolderRowsReplaced, this, &PendingResults::OnFolderRowsReplaced);
}

void PendingResults::AddRows(std::vector<ChartRow>& rows)
{
    const int count = static_cast<int>(rows.size());
    if (m_rows.empty())
        m_rows = std::move(rows);
    else
        std::move(rows.begin(), rows.end(), std::back_inserter(m_rows));
    rows.clear();
    if (!m_showTimer.isActive())
        m_showTimer.start();
    emit RowsHandedOver(count);
}

void PendingResults::SetTitleBytes(const std::string& title)
{
    m_title = title;
    m_bTitlePending = true;
    if (!m_showTimer.isActive())
        m_showTimer.start();
}

void PendingResults::Show()
{
    m_showTimer.stop();
    if (!m_rows.empty())
        m_model.AppendRows(m_rows);  // whole folders, in the order found
    m_rows.clear();
    m_note.Update(m_model.RowCountTotal());
    if (m_bTitlePending) {
        // The folder is shown decoded, one path component at a time; the
        // rest of the title is ASCII and reads the same in every charset.
        m_window.setWindowTitle(QString::fromStdU16String(DecodePathToUtf16(CountedTitle(m_title, m_countChange))));
        m_bTitlePending = false;
    }
}

void PendingResults::CutShort()
{
    m_note.SetCutShort(true);
    Show();
}

void PendingResults::StartOver()
{
    Show();
    // The title shown stays until the new search's first.
    m_title.clear();
    m_countChange = 0;
    m_model.Clear();
    m_note.SetCutShort(false);
    m_note.Update(m_model.RowCountTotal());
}

void PendingResults::OnFolderRowsReplaced(int removed, int added)
{
    m_countChange += added - removed;
    if (m_title.empty())
        return;
    m_bTitlePending = true;
    Show();
}

}  // namespace tamboro
