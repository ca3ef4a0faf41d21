#include "dialog/ExportTableDialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <sys/stat.h>

#include "dialog/MessageBox.h"
#include "models/ResultModel.h"
#include "models/RowFilterModel.h"
#include "platform/TextDecoder.h"
#include "tables/TableExport.h"
#include "worker/DigestFiller.h"

namespace tamboro {
namespace {

constexpr int kTakePeriodMs = 30;
// Hashing a few charts is over before a progress dialog would be seen.
constexpr int kProgressAfterMs = 500;

QString Tr(const char* text)
{
    return QCoreApplication::translate("tamboro::ExportTableDialog", text);
}

std::string ChooseFolderWithDialog(QWidget& window)
{
    const QString folder = QFileDialog::getExistingDirectory(&window, Tr("難易度表を書き出すフォルダ"));
    return folder.isEmpty() ? std::string() : QFile::encodeName(folder).toStdString();
}

ExportTableDialog::FolderChooser& FolderChooserInUse()
{
    static ExportTableDialog::FolderChooser chooser = ChooseFolderWithDialog;
    return chooser;
}

QString Shown(const std::string& path)
{
    return QString::fromStdU16String(DecodePathToUtf16(path));
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Whether the folder may be written: yes when it holds no table yet, else
// when the player says so.
bool OverwriteAgreed(QWidget& window, const std::string& folder)
{
    if (!Exists(folder + "/header.json") && !Exists(folder + "/data.json"))
        return true;
    return QMessageBox::question(
               &window, Tr("難易度表の書き出し"),
               Tr("このフォルダの header.json と data.json を置き換えますか?\n%1").arg(Shown(folder))) ==
           QMessageBox::Yes;
}

// Computes the digests the charts lack. False when the player cancelled.
bool FillDigests(QWidget& window, std::vector<ExportTableDialog::Chart>& charts)
{
    std::vector<DigestFiller::Chart> wanted;
    for (std::size_t i = 0; i < charts.size(); ++i)
        if (charts[i].entry.md5.empty() && charts[i].entry.sha256.empty())
            wanted.push_back({static_cast<uint32_t>(i), {}, charts[i].path});  // the whole path as the file
    if (wanted.empty())
        return true;
    const int total = static_cast<int>(wanted.size());
    QProgressDialog progress(Tr("譜面のハッシュを計算しています…"), Tr("中止"), 0, total, &window);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kProgressAfterMs);
    DigestFiller filler(std::move(wanted));
    int done = 0;
    auto take = [&] {
        for (DigestFiller::Digests& digests : filler.Take()) {
            charts[digests.chart.slot].entry.md5 = std::move(digests.md5);
            charts[digests.chart.slot].entry.sha256 = std::move(digests.sha256);
            ++done;
        }
    };
    QEventLoop loop;
    QTimer timer;
    timer.setInterval(kTakePeriodMs);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        take();
        if (done == total || !filler.IsRunning())
            loop.quit();
        else
            progress.setValue(done);
    });
    QObject::connect(&progress, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
    timer.start();
    loop.exec();
    take();
    return done == total;
}

}  // namespace

void ExportTableDialog::SetFolderChooser(FolderChooser chooser)
{
    FolderChooserInUse() = chooser ? std::move(chooser) : ChooseFolderWithDialog;
}

void ExportTableDialog::ExportRows(QWidget& window, const ResultModel& model, const RowFilterModel& filter,
                                   const QModelIndexList& indexes)
{
    std::vector<int> shown;
    for (const QModelIndex& index : indexes)
        shown.push_back(index.row());
    std::sort(shown.begin(), shown.end());
    std::vector<Chart> charts;
    for (const int row : shown) {
        const int position = filter.SourcePosition(row);
        const ChartRow& chart = model.RowAt(position);
        Chart one{chart.folder + chart.file, {}};
        one.entry.md5 = chart.md5;
        one.entry.sha256 = chart.sha256;
        one.entry.title = model.CellText(position, kColumnTitle).toStdString();
        one.entry.artist = model.CellText(position, kColumnArtist).toStdString();
        charts.push_back(std::move(one));
    }
    ExportCharts(window, std::move(charts));
}

void ExportTableDialog::ExportCharts(QWidget& window, std::vector<Chart> charts)
{
    if (charts.empty())
        return;
    ExportTableDialog asked(window);
    if (asked.exec() != QDialog::Accepted)
        return;
    const std::string folder = FolderChooserInUse()(window);
    if (folder.empty() || !OverwriteAgreed(window, folder) || !FillDigests(window, charts))
        return;
    std::vector<TableEntry> entries;
    for (Chart& chart : charts) {
        // A chart that could not be read has no digest to be found by.
        if (chart.entry.md5.empty() && chart.entry.sha256.empty())
            continue;
        chart.entry.level = asked.Level();
        entries.push_back(std::move(chart.entry));
    }
    const std::size_t unread = charts.size() - entries.size();
    const TableResult<std::string> written =
        ExportTable(folder, asked.Name(), asked.Symbol(), {asked.Level()}, entries);
    if (!written) {
        ShowMessageBox(&window, Tr("エラー"),
                       Tr("難易度表を書き出せませんでした。\n%1\n\n%2")
                           .arg(Shown(folder), QString::fromStdString(written.Error())));
        return;
    }
    QString text = Tr("%1 譜面を書き出しました。\n%2").arg(entries.size()).arg(Shown(*written));
    if (unread != 0)
        text += Tr("\n\n読めなかった %1 譜面は入っていません。").arg(unread);
    ShowMessageBox(&window, Tr("難易度表の書き出し"), text);
}

ExportTableDialog::ExportTableDialog(QWidget& parent) : QDialog(&parent)
{
    setObjectName(QStringLiteral("ExportTableDialog"));
    setWindowTitle(tr("難易度表として書き出す"));
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("TableName"));
    m_symbol = new QLineEdit(this);
    m_symbol->setObjectName(QStringLiteral("TableSymbol"));
    m_level = new QLineEdit(this);
    m_level->setObjectName(QStringLiteral("TableLevel"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_name, &QLineEdit::textChanged, this, &ExportTableDialog::EnableOk);
    connect(m_level, &QLineEdit::textChanged, this, &ExportTableDialog::EnableOk);
    auto* form = new QFormLayout(this);
    form->addRow(tr("表の名前(&N):"), m_name);
    form->addRow(tr("記号(&S):"), m_symbol);
    form->addRow(tr("レベル(&L):"), m_level);
    form->addRow(buttons);
    // Room for a table's name.
    resize(fontMetrics().averageCharWidth() * 60, sizeHint().height());
    EnableOk();
}

void ExportTableDialog::EnableOk()
{
    // A table needs a name, and every entry a level.
    m_ok->setEnabled(!m_name->text().trimmed().isEmpty() && !m_level->text().trimmed().isEmpty());
}

std::string ExportTableDialog::Name() const
{
    return m_name->text().trimmed().toStdString();
}

std::string ExportTableDialog::Symbol() const
{
    return m_symbol->text().trimmed().toStdString();
}

std::string ExportTableDialog::Level() const
{
    return m_level->text().trimmed().toStdString();
}

}  // namespace tamboro
