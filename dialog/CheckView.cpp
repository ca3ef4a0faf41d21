#include "dialog/CheckView.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <set>

#include "dialog/FolderColumnDelegate.h"
#include "dialog/LineTable.h"
#include "dialog/OpenFolder.h"
#include "models/CheckProblemModel.h"
#include "platform/TextDecoder.h"
#include "worker/LibraryCheckRun.h"

namespace tamboro {
namespace {

constexpr int kTakePeriodMs = 100;
// The initial widths; the last column takes the rest.
constexpr std::pair<int, int> kColumnWidths[] = {{CheckProblemModel::kKind, 130},
                                                 {CheckProblemModel::kFolder, 290},
                                                 {CheckProblemModel::kFile, 130},
                                                 {CheckProblemModel::kDetail, 180}};

}  // namespace

CheckView::CheckView(QWidget* parent, std::string root, ChartTypes types) : QDialog(parent), m_root(std::move(root))
{
    setObjectName(QStringLiteral("CheckView"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(tr("ライブラリの検査 - %1").arg(QString::fromStdString(DecodePathToUtf8(m_root))));
    resize(900, 500);

    m_model = new CheckProblemModel(this);
    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("CheckProblems"));
    m_view->setModel(m_model);
    SetUpLineTable(*m_view);
    // Folders cut in the middle, their own folder in view, as in the list.
    m_view->setItemDelegateForColumn(CheckProblemModel::kFolder, new FolderColumnDelegate(m_view));
    QHeaderView* columns = m_view->horizontalHeader();
    for (const auto& [column, width] : kColumnWidths)
        columns->resizeSection(column, width);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(CheckProblemModel::kKind, Qt::AscendingOrder);
    connect(m_view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            OpenFolder(*this, m_model->ProblemAt(index.row()).folder);
    });
    auto* copy = new QAction(tr("選択した行をコピー"), m_view);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &CheckView::CopySelected);
    m_view->addAction(copy);

    m_status = new QLabel(this);
    m_btnStop = new QPushButton(tr("中止(&E)"), this);
    auto* select = new QPushButton(tr("一覧で選択(&L)"), this);
    auto* close = new QPushButton(tr("閉じる"), this);
    connect(select, &QPushButton::clicked, this, &CheckView::SelectChartsInList);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_btnStop);
    buttons->addWidget(select);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);

    m_run = new LibraryCheckRun(m_root, std::move(types), this);
    connect(m_btnStop, &QPushButton::clicked, this, [this] { m_run->Stop(); });
    connect(m_run, &LibraryCheckRun::Finished, this, &CheckView::OnFinished);
    m_takeTimer.setInterval(kTakePeriodMs);
    connect(&m_takeTimer, &QTimer::timeout, this, &CheckView::TakeProblems);
    m_takeTimer.start();
    TakeProblems();
}

CheckView::~CheckView() = default;

void CheckView::TakeProblems()
{
    std::vector<CheckProblem> problems = m_run->TakeProblems();
    if (!problems.empty()) {
        m_model->Append(std::move(problems));
        // Rows that came in join the order the player chose.
        const QHeaderView* header = m_view->horizontalHeader();
        m_model->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
    }
    if (m_run->IsRunning())
        m_status->setText(tr("検査中… %1 件 [%2]")
                              .arg(m_model->rowCount())
                              .arg(QString::fromStdString(DecodePathToUtf8(m_run->CurrentFolder()))));
}

void CheckView::OnFinished(int error, bool stopped)
{
    m_takeTimer.stop();
    TakeProblems();
    m_btnStop->setEnabled(false);
    if (error != 0)
        m_status->setText(tr("フォルダを読めません: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
    else if (stopped)
        m_status->setText(tr("中止しました: %1 件").arg(m_model->rowCount()));
    else
        m_status->setText(tr("完了: %1 件").arg(m_model->rowCount()));
}

void CheckView::CopySelected()
{
    const QString lines = m_model->Lines(SortedSelectedRows(*m_view));
    if (!lines.isEmpty())
        QGuiApplication::clipboard()->setText(lines);
}

void CheckView::SelectChartsInList()
{
    std::set<std::pair<std::string, std::string>> seen;
    std::vector<std::pair<std::string, std::string>> charts;
    for (const int row : SortedSelectedRows(*m_view)) {
        const CheckProblem& problem = m_model->ProblemAt(row);
        if (!problem.file.empty() && seen.emplace(problem.folder, problem.file).second)
            charts.emplace_back(problem.folder, problem.file);
    }
    emit SelectInList(charts);
}

}  // namespace tamboro
