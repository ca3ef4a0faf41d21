#include "dialog/MissingChartsView.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "dialog/LineTable.h"
#include "dialog/SettingsFile.h"
#include "dialog/WebPage.h"
#include "models/MissingChartsModel.h"
#include "platform/TextDecoder.h"
#include "worker/MissingChartsRun.h"

namespace tamboro {
namespace {

constexpr int kProgressPeriodMs = 100;
// A column fitted to its text is never wider than this.
constexpr int kMaxFittedWidth = 320;

}  // namespace

MissingChartsView::MissingChartsView(QWidget* parent, DifficultyTable table, std::string root, ChartTypes types)
    : QDialog(parent), m_tableName(table.name), m_tableSize(table.entries.size())
{
    setObjectName(QStringLiteral("MissingChartsView"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(tr("未所持の譜面 - %1 - %2")
                       .arg(QString::fromStdString(m_tableName), QString::fromStdString(DecodePathToUtf8(root))));
    resize(900, 500);

    m_model = new MissingChartsModel(table.symbol, this);
    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("MissingCharts"));
    m_view->setModel(m_model);
    SetUpLineTable(*m_view);
    // The table's order until the player clicks a header.
    m_view->horizontalHeader()->setSortIndicatorShown(false);
    m_view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_view->setSortingEnabled(true);
    connect(m_view->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            [this] { m_view->horizontalHeader()->setSortIndicatorShown(true); });
    connect(m_view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!index.isValid())
            return;
        const TableEntry& entry = m_model->EntryAt(index.row());
        OpenPage(entry.url.empty() ? entry.urlDiff : entry.url);
    });

    m_actOpenPage = new QAction(tr("譜面のページを開く"), this);
    connect(m_actOpenPage, &QAction::triggered, this, [this] {
        if (m_menuIndex.isValid())
            OpenPage(m_model->EntryAt(m_menuIndex.row()).url);
    });
    m_actOpenDiffPage = new QAction(tr("差分のページを開く"), this);
    connect(m_actOpenDiffPage, &QAction::triggered, this, [this] {
        if (m_menuIndex.isValid())
            OpenPage(m_model->EntryAt(m_menuIndex.row()).urlDiff);
    });
    m_actCopy = new QAction(tr("コピー"), m_view);
    m_actCopy->setShortcut(QKeySequence::Copy);
    m_actCopy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_actCopy, &QAction::triggered, this, &MissingChartsView::CopySelected);
    m_view->addAction(m_actCopy);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, &MissingChartsView::OnContextMenu);

    m_status = new QLabel(this);
    m_btnStop = new QPushButton(tr("中止(&E)"), this);
    auto* close = new QPushButton(tr("閉じる"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_btnStop);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);

    m_run = std::make_unique<MissingChartsRun>(std::move(table), std::move(root), std::move(types), IndexChosen());
    connect(m_btnStop, &QPushButton::clicked, this, [this] { m_run->Stop(); });
    m_progressTimer.setInterval(kProgressPeriodMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &MissingChartsView::ShowProgress);
    m_progressTimer.start();
    ShowProgress();
}

MissingChartsView::~MissingChartsView() = default;

MissingChartsView* MissingChartsView::Open(QWidget* parent, DifficultyTable table, std::string root, ChartTypes types)
{
    auto* view = new MissingChartsView(parent, std::move(table), std::move(root), std::move(types));
    view->show();
    // The keyboard goes to the view (Ctrl+C copies its lines).
    view->activateWindow();
    return view;
}

void MissingChartsView::ShowProgress()
{
    if (!m_run->IsRunning()) {
        m_progressTimer.stop();
        ShowResult();
        return;
    }
    m_status->setText(tr("ライブラリを読んでいます… %1 譜面 [%2]")
                          .arg(m_run->ChartsSeen())
                          .arg(QString::fromStdString(DecodePathToUtf8(m_run->CurrentFolder()))));
}

void MissingChartsView::ShowResult()
{
    m_btnStop->setEnabled(false);
    if (const int error = m_run->Error(); error != 0) {
        m_status->setText(tr("フォルダを読めません: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
        return;
    }
    if (m_run->Stopped()) {
        m_status->setText(tr("中止しました"));
        return;
    }
    m_model->SetCharts(m_run->TakeMissing());
    FitColumns();
    const QHeaderView* header = m_view->horizontalHeader();
    if (header->isSortIndicatorShown())
        m_model->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
    QString status = tr("未所持: %1 / %2 譜面").arg(m_model->rowCount()).arg(m_tableSize);
    // Entries the table gave no usable hash for are listed, as none can be matched.
    if (m_model->RowsWithoutHash() > 0)
        status += tr("、うちハッシュなし %1").arg(m_model->RowsWithoutHash());
    status += tr(" (ライブラリ %1 譜面)").arg(m_run->ChartsSeen());
    m_status->setText(status);
}

void MissingChartsView::FitColumns()
{
    // Each column but the last (which takes the rest) as wide as its text.
    for (int column = 0; column + 1 < m_model->columnCount(); ++column) {
        m_view->resizeColumnToContents(column);
        m_view->setColumnWidth(column, std::min(m_view->columnWidth(column), kMaxFittedWidth));
    }
}

void MissingChartsView::OpenPage(const std::string& page)
{
    if (page.empty())
        return;
    if (WebPageUrl(page).isEmpty())
        m_status->setText(tr("http/https 以外のアドレスは開きません: %1").arg(QString::fromStdString(page)));
    else if (!OpenWebPage(page))
        m_status->setText(tr("ブラウザを起動できませんでした: %1").arg(QString::fromStdString(page)));
}

void MissingChartsView::OnContextMenu(const QPoint& pos)
{
    m_menuIndex = m_view->indexAt(pos);
    const TableEntry* entry = m_menuIndex.isValid() ? &m_model->EntryAt(m_menuIndex.row()) : nullptr;
    m_actOpenPage->setEnabled(entry != nullptr && !WebPageUrl(entry->url).isEmpty());
    m_actOpenDiffPage->setEnabled(entry != nullptr && !WebPageUrl(entry->urlDiff).isEmpty());
    m_actCopy->setEnabled(m_view->selectionModel()->hasSelection());
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("MissingChartsMenu"));
    menu.addAction(m_actOpenPage);
    menu.addAction(m_actOpenDiffPage);
    menu.addSeparator();
    menu.addAction(m_actCopy);
    menu.exec(m_view->viewport()->mapToGlobal(pos));
    m_menuIndex = QPersistentModelIndex();
    m_actCopy->setEnabled(true);
}

void MissingChartsView::CopySelected()
{
    const QString lines = m_model->Lines(SortedSelectedRows(*m_view));
    if (!lines.isEmpty())
        QGuiApplication::clipboard()->setText(lines);
}

}  // namespace tamboro
