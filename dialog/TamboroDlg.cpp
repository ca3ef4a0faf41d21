// Construction, set-up, the window's run and the routing of window events to
// the handlers.
#include "dialog/TamboroDlg.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>

#include "dialog/ColumnSettings.h"
#include "dialog/DialogTemplate.h"
#include "dialog/DifficultyTables.h"
#include "dialog/DigestColumns.h"
#include "dialog/FolderColumnDelegate.h"
#include "dialog/ListActions.h"
#include "dialog/MessageBox.h"
#include "dialog/PathBox.h"
#include "dialog/PendingResults.h"
#include "dialog/ResultListView.h"
#include "dialog/RowFinder.h"
#include "dialog/RowLimitNote.h"
#include "dialog/SearchSession.h"
#include "dialog/TamboroIcon.h"
#include "dialog/WindowLayout.h"
#include "models/ResultModel.h"
#include "models/RowFilterModel.h"
#include "res/resource.h"

namespace tamboro {

CTamboroDlg::CTamboroDlg(QWidget* pParent) : QDialog(pParent)
{
    m_hIcon = TamboroIcon();
    setObjectName(QStringLiteral("TamboroDialog"));
    // A top-level window of its own (shown in the task bar), resizable,
    // with minimise and maximise buttons.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(tr("Tamboro"));
    setFont(TemplateFont());
    setAcceptDrops(true);
    m_model = new ResultModel(this);
    m_filter = new RowFilterModel(m_model, this);
    // Rows are folded for the find bar as they arrive (about a microsecond a
    // row, spread over the search), so that opening the bar on a full list
    // costs nothing and the first keystroke only compares.
    m_filter->PrepareFolding();
    m_session = new SearchSession(*this, m_hSharedMap, m_pSharedState, this);
    resize(UnitsToPixels(kTemplateSize, BaseUnitsOf(font())));
    CreateControls();
    ConnectParts();
}

CTamboroDlg::~CTamboroDlg()
{
    m_columnSettings->SaveNow();
    m_session->EndWorkers();
}

void CTamboroDlg::CreateControls()
{
    const DialogBaseUnits base = BaseUnitsOf(font());
    auto place = [&](QWidget* control, int id) { control->setGeometry(TemplatePlace(id, base)); };

    // Created in tab order: path box, list, Search, Stop.
    m_editPath = new QLineEdit(this);
    m_editPath->setObjectName(QStringLiteral("IDC_PATH"));
    place(m_editPath, IDC_PATH);

    m_list = new ResultListView(this);
    m_list->setObjectName(QStringLiteral("IDC_LIST"));
    m_list->setModel(m_filter);
    place(m_list, IDC_LIST);

    m_btnSearch = new QPushButton(tr("検索(&S)"), this);
    m_btnSearch->setObjectName(QStringLiteral("IDC_SEARCH"));
    m_btnSearch->setDefault(true);
    place(m_btnSearch, IDC_SEARCH);

    m_btnStop = new QPushButton(tr("中止(&E)"), this);
    m_btnStop->setObjectName(QStringLiteral("IDC_STOP"));
    m_btnStop->setEnabled(false);
    place(m_btnStop, IDC_STOP);

    // A drop anywhere on the window goes through its one drop handler: the
    // path box would otherwise insert a drag's text/plain at its cursor.
    for (QObject* target :
         {static_cast<QObject*>(m_editPath), static_cast<QObject*>(m_list), static_cast<QObject*>(m_list->viewport())})
        target->installEventFilter(this);

    m_finder = new RowFinder(*this, *m_list, *m_filter);
    m_rowLimitNote = new RowLimitNote(this);
    m_pending = new PendingResults(*m_model, *this, *m_rowLimitNote, this);
    m_listActions = new ListActions(*this, *m_list, *m_model, *m_filter);
    m_columnSettings = new ColumnSettings(*this, *m_list);
    m_digests = new DigestColumns(*m_model, *m_columnSettings, *m_session, this);
    m_tables = new DifficultyTables(*this, *m_model, *m_columnSettings, *m_listActions);
    m_pathBox = new PathBox(*m_editPath, *m_btnSearch, this);
    m_layout = std::make_unique<WindowLayout>(
        *this, WindowLayout::Controls{m_editPath, m_list, m_btnSearch, m_btnStop, &m_finder->Bar(), m_rowLimitNote});
    setMinimumSize(m_layout->MinimumClientSize());
}

void CTamboroDlg::ConnectParts()
{
    connect(m_list->header(), &QHeaderView::sectionClicked, this, &CTamboroDlg::OnColumnClickList);
    connect(m_btnSearch, &QPushButton::clicked, this, &CTamboroDlg::OnButtonSearch);
    connect(m_btnStop, &QPushButton::clicked, this, &CTamboroDlg::OnButtonStop);
    connect(m_session, &SearchSession::TimerFired, this, &CTamboroDlg::OnTimer);
    connect(
        m_session, &SearchSession::QuitPosted, this, [this](int code) { done(code); }, Qt::QueuedConnection);

    // The views' side of a search: what the last one showed goes when the
    // next starts, what a scan found is shown whole when it ends.
    connect(m_session, &SearchSession::SearchStarting, m_pending, &PendingResults::StartOver);
    connect(m_session, &SearchSession::SearchStarting, this, [this] {
        ResetHeaderLabels();
        m_nSortMode = kSortFound;
        // The root the session is about to scan: the path box's bytes now.
        m_list->FolderDelegate().SetRootBytes(m_pathBox->PathBytes());
    });
    connect(m_session, &SearchSession::SearchEnded, m_pending, &PendingResults::Show);

    // The bands above the bottom strip come and go.
    auto relayout = [this] { OnSize(SIZE_RESTORED, width(), height()); };
    connect(m_rowLimitNote, &RowLimitNote::Toggled, this, relayout);
    connect(m_finder, &RowFinder::Toggled, this, relayout);
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
    ShowMessageBox(this, tr("Error"), QString::fromUtf8(SharedStateBlock::CreateFailureMessage(result)));
    m_session->PostQuit(ExitCode::SetupFailed);
    return false;
}

int CTamboroDlg::DoModal()
{
    OnInitDialog();
    // A failed set-up has posted its quit: the window never runs.
    const std::optional<ExitCode> posted = m_session->PostedExit();
    const int code = posted ? CodeOf(*posted) : RunWindow();
    m_session->EndWorkers();
    m_pending->Show();
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
