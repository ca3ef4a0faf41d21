#include "dialog/DigestColumns.h"

#include "dialog/ColumnSettings.h"
#include "dialog/SearchSession.h"
#include "models/ResultModel.h"
#include "worker/DigestFiller.h"

namespace tamboro {
namespace {

constexpr int kTakePeriodMs = 100;

}  // namespace

DigestColumns::DigestColumns(ResultModel& model, ColumnSettings& columns, SearchSession& session, QObject* parent)
    : QObject(parent), m_model(model)
{
    m_takeTimer.setInterval(kTakePeriodMs);
    connect(&m_takeTimer, &QTimer::timeout, this, &DigestColumns::TakeDigests);
    connect(&columns, &ColumnSettings::DigestsShown, this, &DigestColumns::FillMissing);
    connect(&session, &SearchSession::SearchStarting, this, &DigestColumns::Stop);
}

DigestColumns::~DigestColumns()
{
    Stop();
}

void DigestColumns::FillMissing()
{
    if (m_filler != nullptr)
        return;
    std::vector<DigestFiller::Chart> charts;
    const RowSorter& rows = m_model.Sorter();
    for (uint32_t slot = 0; slot < rows.Size(); ++slot) {
        const ChartRow& row = rows.RowInSlot(slot);
        if (row.md5.empty())
            charts.push_back(DigestFiller::Chart{slot, row.folder, row.file});
    }
    if (charts.empty())
        return;
    m_filler = new DigestFiller(std::move(charts), this);
    m_takeTimer.start();
}

void DigestColumns::Stop()
{
    m_takeTimer.stop();
    delete m_filler;
    m_filler = nullptr;
}

void DigestColumns::TakeDigests()
{
    if (m_filler == nullptr)
        return;
    const bool running = m_filler->IsRunning();
    std::vector<ResultModel::ChartDigests> digests;
    for (DigestFiller::Digests& done : m_filler->Take()) {
        DigestFiller::Chart& chart = done.chart;
        digests.push_back(ResultModel::ChartDigests{chart.slot, std::move(chart.folder), std::move(chart.file),
                                                    std::move(done.md5), std::move(done.sha256)});
    }
    m_model.SetDigests(digests);
    if (!running)
        Stop();
}

}  // namespace tamboro
