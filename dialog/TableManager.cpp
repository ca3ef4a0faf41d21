#include "dialog/TableManager.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>

#include "dialog/DifficultyTables.h"

namespace tamboro {
namespace {

enum ManagerColumn { kSourceColumn, kNameColumn, kSymbolColumn, kEntriesColumn, kStateColumn, kManagerColumns };

QString StateWord(DifficultyTables::State state)
{
    switch (state) {
    case DifficultyTables::State::Reading:
        return TableManager::tr("読み込み中");
    case DifficultyTables::State::Read:
        return TableManager::tr("読み込み済み");
    case DifficultyTables::State::KeptCopy:
        return TableManager::tr("保存したコピー");
    case DifficultyTables::State::Stopped:
        return TableManager::tr("中止");
    case DifficultyTables::State::Failed:
        break;
    }
    return TableManager::tr("失敗");
}

// The state, and why the last read failed while it is not read again
// ("失敗: サーバーが見つかりません").
QString StateText(const DifficultyTables::Table& table)
{
    const QString word = StateWord(table.state);
    if (table.failure.isEmpty() || table.state == DifficultyTables::State::Reading)
        return word;
    return TableManager::tr("%1: %2").arg(word, table.failure);
}

QPushButton* Button(const QString& text, const char* name, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TableManager::TableManager(DifficultyTables& tables, QWidget* parent) : QDialog(parent), m_tables(tables)
{
    setObjectName(QStringLiteral("TableManager"));
    setWindowTitle(tr("難易度表"));
    CreateControls();
    connect(&m_tables, &DifficultyTables::Changed, this, &TableManager::Refresh);
    connect(&m_tables, &DifficultyTables::ProgressChanged, m_progress, &QLabel::setText);
    m_progress->setText(m_tables.Progress());
    Refresh();
    resize(720, 320);
}

void TableManager::CreateControls()
{
    m_list = new QTableWidget(0, kManagerColumns, this);
    m_list->setObjectName(QStringLiteral("TableList"));
    m_list->setHorizontalHeaderLabels({tr("アドレス"), tr("名前"), tr("記号"), tr("譜面数"), tr("状態")});
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    // Rows as tall as a line of text, the address taking the free width.
    m_list->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_list->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->horizontalHeader()->setSectionResizeMode(kSourceColumn, QHeaderView::Stretch);
    connect(m_list, &QTableWidget::itemSelectionChanged, this, &TableManager::UpdateButtons);

    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("TableAddress"));
    m_address->setPlaceholderText(tr("http:// または https:// のアドレス、またはファイルのパス"));
    m_add = Button(tr("追加"), "TableAdd", this);
    m_addFile = Button(tr("ファイルから追加…"), "TableAddFile", this);
    m_readAgain = Button(tr("読み直す"), "TableReadAgain", this);
    m_stop = Button(tr("中止"), "TableStop", this);
    m_remove = Button(tr("削除"), "TableRemove", this);
    m_missing = Button(tr("未所持の譜面…"), "TableMissing", this);
    QPushButton* close = Button(tr("閉じる"), "TableClose", this);
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("TableProgress"));

    connect(m_address, &QLineEdit::returnPressed, this, &TableManager::AddFromEdit);
    connect(m_add, &QPushButton::clicked, this, &TableManager::AddFromEdit);
    connect(m_addFile, &QPushButton::clicked, this, &TableManager::AddFromFile);
    connect(m_readAgain, &QPushButton::clicked, this, [this] { m_tables.ReadAgain(SelectedTable()); });
    connect(m_stop, &QPushButton::clicked, this, [this] { m_tables.StopReading(SelectedTable()); });
    connect(m_remove, &QPushButton::clicked, this, [this] { m_tables.Remove(SelectedTable()); });
    connect(m_missing, &QPushButton::clicked, this, [this] {
        if (SelectedTable() >= 0)
            emit MissingChartsAsked(SelectedTable());
    });
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto* addRow = new QHBoxLayout;
    addRow->addWidget(m_address, 1);
    addRow->addWidget(m_add);
    addRow->addWidget(m_addFile);
    auto* actionRow = new QHBoxLayout;
    actionRow->addWidget(m_readAgain);
    actionRow->addWidget(m_stop);
    actionRow->addWidget(m_remove);
    actionRow->addStretch(1);
    actionRow->addWidget(m_missing);
    actionRow->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_progress);
    layout->addLayout(addRow);
    layout->addLayout(actionRow);
}

void TableManager::Refresh()
{
    const int selected = SelectedTable();
    const std::vector<DifficultyTables::Table>& tables = m_tables.Tables();
    m_list->setRowCount(static_cast<int>(tables.size()));
    for (int row = 0; row < static_cast<int>(tables.size()); ++row) {
        const DifficultyTables::Table& table = tables[static_cast<std::size_t>(row)];
        const DifficultyTable& data = m_tables.DataOf(row);
        const bool read = !data.source.empty();
        const QString texts[kManagerColumns] = {QString::fromStdString(table.source), QString::fromStdString(data.name),
                                                QString::fromStdString(data.symbol),
                                                read ? QString::number(data.entries.size()) : QString(),
                                                StateText(table)};
        for (int column = 0; column < kManagerColumns; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            item->setToolTip(texts[column]);
            m_list->setItem(row, column, item);
        }
    }
    // A row is always chosen while there is one (the first at the start, the
    // one before a row removed at the end), so that the buttons act on the
    // row that shows as current.
    if (m_list->rowCount() > 0)
        m_list->selectRow(std::clamp(selected, 0, m_list->rowCount() - 1));
    UpdateButtons();
}

void TableManager::UpdateButtons()
{
    const int index = SelectedTable();
    const std::vector<DifficultyTables::Table>& tables = m_tables.Tables();
    const bool selected = index >= 0 && static_cast<std::size_t>(index) < tables.size();
    m_readAgain->setEnabled(selected);
    m_stop->setEnabled(selected && tables[static_cast<std::size_t>(index)].read != 0);
    m_remove->setEnabled(selected);
    m_missing->setEnabled(selected);
}

void TableManager::AddFromEdit()
{
    if (m_tables.Add(m_address->text()))
        m_address->clear();
}

void TableManager::AddFromFile()
{
    const QString path = m_tables.ChooseFile()(this);
    if (!path.isEmpty())
        m_tables.Add(path);
}

int TableManager::SelectedTable() const
{
    const QList<QTableWidgetSelectionRange> ranges = m_list->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.first().topRow();
}

}  // namespace tamboro
