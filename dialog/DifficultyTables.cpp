#include "dialog/DifficultyTables.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "dialog/ColumnSettings.h"
#include "dialog/ListActions.h"
#include "dialog/MessageBox.h"
#include "dialog/MissingChartsView.h"
#include "dialog/SettingsFile.h"
#include "dialog/TableFailureText.h"
#include "dialog/TableManager.h"
#include "models/ResultModel.h"
#include "tables/TableUrl.h"

namespace tamboro {
namespace {

constexpr char kTablesKey[] = "tables";

// The sources remembered, in the order added.
QStringList RememberedSources()
{
    return ListValue(*OpenSettingsFile(), kTablesKey);
}

QString ChooseTableFile(QWidget* owner)
{
    return QFileDialog::getOpenFileName(owner, DifficultyTables::tr("難易度表を開く"), QString(),
                                        DifficultyTables::tr("難易度表 (*.json *.html *.htm);;すべてのファイル (*)"));
}

}  // namespace

DifficultyTables::DifficultyTables(QWidget& window, ResultModel& model, ColumnSettings& columns, ListActions& actions)
    : QObject(&window), m_window(window), m_model(model), m_columns(columns), m_chooseFile(ChooseTableFile)
{
    m_loading = std::make_unique<TableLoading>();
    m_matching = std::make_unique<TableMatching>();
    connect(m_matching.get(), &TableMatching::Built, this, &DifficultyTables::OnMatched);
    connect(m_loading.get(), &TableLoading::Loaded, this, &DifficultyTables::OnLoaded);
    connect(&actions, &ListActions::TablesAsked, this, &DifficultyTables::OpenManager);
    connect(this, &DifficultyTables::MissingChartsAsked, this,
            [this, &actions](int index) { OpenMissingCharts(actions, index); });
    for (const QString& source : RememberedSources()) {
        const std::string bytes = source.trimmed().toStdString();
        const bool listed =
            std::any_of(m_tables.begin(), m_tables.end(), [&](const Table& table) { return table.source == bytes; });
        if (bytes.empty() || listed)
            continue;
        m_tables.emplace_back().source = bytes;
        m_data.push_back(std::make_shared<const DifficultyTable>());
        Load(m_tables.size() - 1, false, false);
    }
    m_columns.OfferTableColumn(!m_tables.empty());
}

DifficultyTables::~DifficultyTables() = default;

bool DifficultyTables::Add(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(QLatin1Char(',')))
        return false;
    // A path is kept whole, so that it names the same file from anywhere.
    const std::string source = IsFetchableAddress(trimmed.toStdString())
                                   ? trimmed.toStdString()
                                   : QFileInfo(trimmed).absoluteFilePath().toStdString();
    for (const Table& table : m_tables) {
        if (table.source == source)
            return false;
    }
    m_tables.emplace_back().source = source;
    m_data.push_back(std::make_shared<const DifficultyTable>());
    SaveSources();
    m_columns.OfferTableColumn(true);
    Load(m_tables.size() - 1, true, true);
    emit Changed();
    return true;
}

void DifficultyTables::ReadAgain(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_tables.size())
        return;
    Load(static_cast<std::size_t>(index), true, true);
    emit Changed();
}

void DifficultyTables::StopReading(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_tables.size())
        return;
    Table& table = m_tables[static_cast<std::size_t>(index)];
    if (table.read == 0)
        return;
    m_loading->Cancel(std::exchange(table.read, 0));
    table.state = table.stateBefore;
    UpdateProgress();
    emit Changed();
}

void DifficultyTables::Remove(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_tables.size())
        return;
    if (const uint64_t read = m_tables[static_cast<std::size_t>(index)].read)
        m_loading->Cancel(read);
    m_tables.erase(m_tables.begin() + index);
    m_data.erase(m_data.begin() + index);
    SaveSources();
    FillColumn();
    m_columns.OfferTableColumn(!m_tables.empty());
    UpdateProgress();
    emit Changed();
}

void DifficultyTables::OpenManager()
{
    if (m_manager == nullptr) {
        m_manager = new TableManager(*this, &m_window);
        connect(m_manager, &TableManager::MissingChartsAsked, this, &DifficultyTables::MissingChartsAsked);
    }
    m_manager->show();
    m_manager->raise();
    m_manager->activateWindow();
}

void DifficultyTables::OpenMissingCharts(const ListActions& actions, int index)
{
    if (index < 0 || index >= static_cast<int>(m_tables.size()))
        return;
    QWidget* owner = m_manager != nullptr ? static_cast<QWidget*>(m_manager) : &m_window;
    const DifficultyTable& table = DataOf(index);
    if (table.entries.empty() && m_tables[static_cast<std::size_t>(index)].state != State::Read) {
        ShowMessageBox(owner, tr("未所持の譜面"), tr("この難易度表はまだ読み込まれていません。"));
        return;
    }
    if (actions.SearchedRoot().empty()) {
        ShowMessageBox(owner, tr("未所持の譜面"), tr("先にライブラリのフォルダを検索してください。"));
        return;
    }
    MissingChartsView::Open(&m_window, table, actions.SearchedRoot(), actions.SearchChartTypes());
}

void DifficultyTables::Load(std::size_t index, bool fromNetwork, bool asked)
{
    Table& table = m_tables[index];
    if (table.read != 0)
        m_loading->Cancel(table.read);
    else
        table.stateBefore = table.state == State::Reading ? State::Stopped : table.state;
    table.state = State::Reading;
    table.asked = asked;
    table.read = m_loading->Load(TableLoading::Request{table.source, fromNetwork});
    UpdateProgress();
}

void DifficultyTables::UpdateProgress()
{
    QStringList reading;
    for (const Table& table : m_tables) {
        if (table.read != 0)
            reading << QString::fromStdString(table.source);
    }
    QString progress;
    if (reading.size() == 1)
        progress = tr("読み込み中: %1").arg(reading.first());
    else if (reading.size() > 1)
        progress = tr("読み込み中 (%1 件): %2 ほか").arg(reading.size()).arg(reading.first());
    if (progress == m_progress)
        return;
    m_progress = progress;
    emit ProgressChanged(m_progress);
}

void DifficultyTables::OnLoaded(const TableLoading::Outcome& outcome)
{
    // A table removed meanwhile, or read again since, is no longer waiting
    // for this read.
    const auto table = std::find_if(m_tables.begin(), m_tables.end(),
                                    [&](const Table& listed) { return listed.read == outcome.read; });
    if (table == m_tables.end())
        return;
    table->read = 0;
    table->failure = outcome.error.empty() ? QString() : TableFailureText(outcome.failure);
    if (outcome.table) {
        m_data[static_cast<std::size_t>(table - m_tables.begin())] = outcome.table;
        table->state = outcome.fromKeptCopy ? State::KeptCopy : State::Read;
        FillColumn();
    } else {
        table->state = State::Failed;
    }
    if (!table->failure.isEmpty() && table->asked)
        TellFailure(*table, outcome.table != nullptr);
    UpdateProgress();
    emit Changed();
}

void DifficultyTables::TellFailure(const Table& table, bool keptCopyUsed)
{
    const QString line = tr("%1: %2").arg(QString::fromStdString(table.source), table.failure);
    const QString text = keptCopyUsed
                             ? tr("難易度表を読めませんでした。\n%1\n保存してあったコピーを使います。").arg(line)
                             : tr("難易度表を読めませんでした。\n%1").arg(line);
    // Shown once the loader's call has returned: the box runs a loop of its own.
    QTimer::singleShot(0, this, [this, text] {
        QWidget* owner = m_manager != nullptr && m_manager->isVisible() ? static_cast<QWidget*>(m_manager) : &m_window;
        ShowMessageBox(owner, tr("エラー"), text);
    });
}

void DifficultyTables::FillColumn()
{
    // The match is built on the matcher's thread; the column keeps its
    // cells until it comes back.
    m_matching->Match(m_data);
    if (m_tables.empty())
        m_model.SetTableCells({});
}

void DifficultyTables::OnMatched(const std::shared_ptr<const TableMatching::Matched>& matched)
{
    m_model.SetTableCells([matched](const std::string& md5, const std::string& sha256) {
        return ResultModel::TableCell{matched->match.ColumnText(md5, sha256),
                                      matched->match.SortKey(md5, sha256).Bytes()};
    });
}

void DifficultyTables::SaveSources() const
{
    QStringList sources;
    for (const Table& table : m_tables)
        sources << QString::fromStdString(table.source);
    if (sources.isEmpty())
        OpenSettingsFile()->remove(kTablesKey);
    else
        OpenSettingsFile()->setValue(kTablesKey, sources.join(QLatin1Char(',')));
}

}  // namespace tamboro
