// Construction, set-up, the window's run and the routing of window events to
// the handlers.
#include "dialog/TamboroDlg.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTimerEvent>

#include "dialog/DialogTemplate.h"
#include "dialog/MessageBox.h"
#include "dialog/ResultListView.h"
#include "models/ResultModel.h"
#include "models/RowFilterModel.h"
#include "res/resource.h"

// Resources of a static library are registered by hand, from the global
// namespace.
static void InitTamboroResources()
{
    Q_INIT_RESOURCE(tamboro);
}

namespace tamboro {

int32_t CTamboroDlg::s_nCloseTicks = 0;

CTamboroDlg::CTamboroDlg(QWidget* pParent) : QDialog(pParent)
{
    InitTamboroResources();
    m_hIcon.addFile(QStringLiteral(":/tamboro/tamboro-16.png"), QSize(16, 16));
    m_hIcon.addFile(QStringLiteral(":/tamboro/tamboro-32.png"), QSize(32, 32));
    m_hIcon.addFile(QStringLiteral(":/tamboro/tamboro-256.png"), QSize(256, 256));

    setObjectName(QStringLiteral("TamboroDialog"));
    // A top-level window of its own (shown in the task bar), resizable,
    // with minimise and maximise buttons.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Tamboro"));
    setFont(TemplateFont());
    setAcceptDrops(true);
    m_model = new ResultModel(this);
    m_filter = new RowFilterModel(m_model, this);
    // Rows are folded for the find bar as they arrive (about a microsecond a
    // row, spread over the search), so that opening the bar on a full list
    // costs nothing and the first keystroke only compares.
    m_filter->PrepareFolding();
    m_showTimer = new QTimer(this);
    m_showTimer->setSingleShot(true);
    m_showTimer->setInterval(kShowPeriodMs);
    connect(m_showTimer, &QTimer::timeout, this, &CTamboroDlg::ShowPendingResults);
    resize(UnitsToPixels(kTemplateSize, BaseUnitsOf(font())));
    CreateControls();
}

CTamboroDlg::~CTamboroDlg()
{
    EndWorkers();
}

void CTamboroDlg::CreateControls()
{
    const DialogBaseUnits base = BaseUnitsOf(font());
    auto place = [&](QWidget* control, int id) {
        for (const TemplateControl& item : kTemplateControls) {
            if (item.id == id)
                control->setGeometry(UnitsToPixels(item.units, base));
        }
    };

    // Created in tab order: path box, list, Search, Stop.
    m_editPath = new QLineEdit(this);
    m_editPath->setObjectName(QStringLiteral("IDC_PATH"));
    place(m_editPath, IDC_PATH);

    m_list = new ResultListView(this);
    m_list->setObjectName(QStringLiteral("IDC_LIST"));
    m_list->setModel(m_filter);
    QHeaderView* header = m_list->header();
    connect(header, &QHeaderView::sectionClicked, this, &CTamboroDlg::OnColumnClickList);
    place(m_list, IDC_LIST);

    m_btnSearch = new QPushButton(QStringLiteral("検索(&S)"), this);
    m_btnSearch->setObjectName(QStringLiteral("IDC_SEARCH"));
    m_btnSearch->setDefault(true);
    connect(m_btnSearch, &QPushButton::clicked, this, &CTamboroDlg::OnButtonSearch);
    place(m_btnSearch, IDC_SEARCH);

    m_btnStop = new QPushButton(QStringLiteral("中止(&E)"), this);
    m_btnStop->setObjectName(QStringLiteral("IDC_STOP"));
    m_btnStop->setEnabled(false);
    connect(m_btnStop, &QPushButton::clicked, this, &CTamboroDlg::OnButtonStop);
    place(m_btnStop, IDC_STOP);

    // A drop anywhere on the window goes through its one drop handler: the
    // path box would otherwise insert a drag's text/plain at its cursor.
    for (QObject* target :
         {static_cast<QObject*>(m_editPath), static_cast<QObject*>(m_list), static_cast<QObject*>(m_list->viewport())})
        target->installEventFilter(this);

    m_tabOrder = {m_editPath, m_list, m_btnSearch, m_btnStop};
    CreateFindBar();
    m_rowLimitNote = new QLabel(this);
    m_rowLimitNote->setObjectName(QStringLiteral("RowLimitNote"));
    m_rowLimitNote->setContentsMargins(4, 2, 4, 2);
    m_rowLimitNote->hide();
    CreateListActions();
    EnablePathCompletion();
    setMinimumSize(MinimumClientSize());
}

QWidget* CTamboroDlg::GetDlgItem(int nID) const
{
    switch (nID) {
    case IDC_PATH:
        return m_editPath;
    case IDC_LIST:
        return m_list;
    case IDC_SEARCH:
        return m_btnSearch;
    case IDC_STOP:
        return m_btnStop;
    default:
        return nullptr;
    }
}

bool CTamboroDlg::OnInitDialog()
{
    // The big and the small icon: one icon with both sizes.
    setWindowIcon(m_hIcon);

    const SharedStateBlock::Result result = m_hSharedMap.Create();
    if (result == SharedStateBlock::Result::Ok) {
        m_pSharedState = m_hSharedMap.Word();
        m_pSharedState.Store(SS_IDLE);
        return true;
    }
    ShowMessageBox(this, QString::fromUtf8(kMsgCaptionError),
                   QString::fromUtf8(SharedStateBlock::CreateFailureMessage(result)));
    PostQuit(kExitSetupFailed);
    return false;
}

int CTamboroDlg::DoModal()
{
    OnInitDialog();
    // A failed set-up has posted its quit: the window never runs.
    const int code = m_bQuitPosted ? m_nQuitCode : RunWindow();
    EndWorkers();
    ShowPendingResults();
    return code;
}

int CTamboroDlg::RunWindow()
{
    // A normal top-level window with a loop of its own: QDialog::exec would
    // make it application-modal, which window managers take for a transient
    // dialog (_NET_WM_STATE_MODAL on X11) rather than a main window.
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::exit);
    show();
    // The path box is named the window's focus only once it is shown, so it
    // takes the keyboard focus when the window does. Named before, showing a
    // QDialog hands it a focus-in event of its own although the window has no
    // keyboard focus: the box then draws a text cursor in a window nobody
    // can type into, and with the box empty that cursor asks the input
    // method for the input direction, which Qt's Wayland input context cannot
    // answer on a compositor without a seat (it crashes there).
    m_editPath->setFocus();
    return loop.exec();
}

void CTamboroDlg::PostQuit(int code)
{
    if (!m_bQuitPosted) {
        m_bQuitPosted = true;
        m_nQuitCode = code;
    }
    QMetaObject::invokeMethod(
        this, [this] { done(m_nQuitCode); }, Qt::QueuedConnection);
}

void CTamboroDlg::EndWorkers()
{
    KillTimer(TIMER_CLOSE);
    KillTimer(TIMER_WATCH);
    // A worker still scanning (the word can read idle through another
    // instance) unwinds at once on its own stop flag, which ending it sets;
    // the shared word is left alone.
    WorkerThread::EndAndJoin(m_startedThreads, kQuitSearchFinished);
    m_startedThreads.clear();
}

void CTamboroDlg::SetTimer(int nIDEvent, int elapseMs)
{
    KillTimer(nIDEvent);
    m_timerIds[static_cast<std::size_t>(nIDEvent)] = startTimer(elapseMs);
}

void CTamboroDlg::KillTimer(int nIDEvent)
{
    int& id = m_timerIds[static_cast<std::size_t>(nIDEvent)];
    if (id != 0)
        killTimer(id);
    id = 0;
}

bool CTamboroDlg::IsTimerRunning(int nIDEvent) const
{
    return m_timerIds[static_cast<std::size_t>(nIDEvent)] != 0;
}

void CTamboroDlg::timerEvent(QTimerEvent* event)
{
    for (int id : {TIMER_CLOSE, TIMER_WATCH}) {
        if (m_timerIds[static_cast<std::size_t>(id)] == event->timerId()) {
            OnTimer(id);
            return;
        }
    }
    QDialog::timerEvent(event);
}

void CTamboroDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    OnShowWindow(true, 0);
}

void CTamboroDlg::closeEvent(QCloseEvent* event)
{
    // The window goes only through a posted quit.
    event->ignore();
    OnClose();
}

void CTamboroDlg::reject()
{
    OnCancel();
}

}  // namespace tamboro
