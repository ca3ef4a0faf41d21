// Search control and closing, handed to the search session, and the calls a
// worker makes into the window.
#include <QPushButton>

#include "dialog/ListActions.h"
#include "dialog/MessageBox.h"
#include "dialog/PathBox.h"
#include "dialog/PendingResults.h"
#include "dialog/ResultListView.h"
#include "dialog/SearchSession.h"
#include "dialog/SettingsFile.h"
#include "dialog/TamboroDlg.h"

namespace tamboro {

void CTamboroDlg::OnButtonSearch()
{
    m_session->Start(m_pathBox->PathBytes(),
                     SearchChoices{m_listActions->SearchChartTypes(), m_list->ShowsDigests(), IndexChosen()});
}

void CTamboroDlg::OnButtonStop()
{
    RequestStop();
    m_session->StopOwnSearch();
}

void CTamboroDlg::RequestStop()
{
    m_session->RequestStop();
}

void CTamboroDlg::OnTimer(int nIDEvent)
{
    m_session->OnTimer(static_cast<SessionTimer>(nIDEvent));
}

void CTamboroDlg::OnClose()
{
    m_session->Close();
}

void CTamboroDlg::OnCancel()
{
    m_session->Cancel();
}

void CTamboroDlg::EnableSearchButton(bool enable)
{
    // Search comes back when the scan is over: all it found is shown first.
    if (enable)
        m_session->SearchGivenBack();
    m_btnSearch->setEnabled(enable);
}

void CTamboroDlg::EnableStopButton(bool enable)
{
    m_btnStop->setEnabled(enable);
}

void CTamboroDlg::AddRows(std::vector<ChartRow>& rows)
{
    m_pending->AddRows(rows);
}

void CTamboroDlg::SetTitleBytes(const std::string& title)
{
    m_pending->SetTitleBytes(title);
}

void CTamboroDlg::ScanCutShort()
{
    m_pending->CutShort();
}

void CTamboroDlg::ShowStateBlockError(const char* message)
{
    ShowMessageBox(this, tr("Error"), QString::fromUtf8(message));
}

}  // namespace tamboro
