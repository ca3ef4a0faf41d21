#include "dialog/TableFailureText.h"

#include <QCoreApplication>
#include <cerrno>

namespace tamboro {
namespace {

// The context of the texts below for a translation.
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(TableFailureText)
};

QString HttpStatusText(long long status)
{
    const QString number = QString::number(status);
    if (status == 404 || status == 410)
        return Texts::tr("ページがありません (HTTP %1)").arg(number);
    if (status == 401 || status == 403)
        return Texts::tr("アクセスが拒まれました (HTTP %1)").arg(number);
    if (status >= 500)
        return Texts::tr("サーバーのエラーです (HTTP %1)").arg(number);
    return Texts::tr("サーバーがエラーを返しました (HTTP %1)").arg(number);
}

QString FileErrorText(long long error)
{
    if (error == ENOENT || error == ENOTDIR)
        return Texts::tr("ファイルがありません");
    if (error == EACCES || error == EPERM)
        return Texts::tr("ファイルを読む権限がありません");
    return Texts::tr("ファイルを読めません (エラー番号 %1)").arg(error);
}

}  // namespace

QString TableFailureText(const TableFailure& failure)
{
    using Kind = TableFailure::Kind;
    switch (failure.kind) {
    case Kind::Stopped:
        return Texts::tr("中止しました");
    case Kind::NoHttpClient:
        return Texts::tr("ウェブから読むためのライブラリ (libcurl) を読み込めません");
    case Kind::NotAnAddress:
        return Texts::tr("http、https またはこのコンピューターのファイルのアドレスではありません");
    case Kind::HostNotFound:
        return Texts::tr("サーバーが見つかりません");
    case Kind::CannotConnect:
        return Texts::tr("サーバーに接続できません");
    case Kind::SecureConnection:
        return Texts::tr("安全な接続ができません (証明書など)");
    case Kind::TimedOut:
        return Texts::tr("サーバーが時間内に応答しませんでした");
    case Kind::Network:
        return Texts::tr("通信が途中で失敗しました");
    case Kind::HttpStatus:
        return HttpStatusText(failure.number);
    case Kind::TooManyRedirects:
        return Texts::tr("リダイレクトが %1 回を超えました").arg(failure.number);
    case Kind::TooLarge:
        return Texts::tr("大きすぎます (%1 MB まで)").arg(failure.number >> 20);
    case Kind::FileError:
        return FileErrorText(failure.number);
    case Kind::NotAFile:
        return Texts::tr("ファイルではありません");
    case Kind::WebNamesLocal:
        return Texts::tr("ウェブ上の表がこのコンピューターのファイルを指しています");
    case Kind::NotATable:
        return Texts::tr("難易度表の形式ではありません");
    case Kind::Other:
        break;
    }
    return Texts::tr("読み込めませんでした");
}

}  // namespace tamboro
