// The expected Shift_JIS texts of the application tests; compiled with -fexec-charset=CP932.
#include "ExpectedTexts.h"

namespace expected {

const std::string kBusy = "接続中です";
const std::string kBusyList = "接続中です。";
const std::string kNewMail = "新規メールがあります";
const std::string kMailboxEmpty = "メールボックスにメールはありません";
const std::string kConfirmExit = "Kelvorを終了しますか？";
const std::string kAlreadyRunning = "Kelvorはすでに起動しています。";
const std::string kSocketsInitFailed = "Windows ｿｹｯﾄの初期化に失敗しました。";
const std::string kAboutMenuEntry = "ﾊﾞｰｼﾞｮﾝ情報(Kelvor) (&A)...";
const std::string kParseInt = "整数を入力してください。";
const std::string kParseIntRange1To60 = "1 から 60 までの整数を入力してください。";

std::string MailCountReport(int count, int newCount)
{
    return "メールボックスの中に " + std::to_string(count) + " 通のメールがあります\r\n\r\n（うち新規メール " +
           std::to_string(newCount) + " 通）";
}

}  // namespace expected
