// The Shift_JIS texts of the main window and the start-up. This file is compiled with
// -fexec-charset=CP932, so the UTF-8 literals below land in the program as Shift_JIS.
#include "app/AppTexts.h"

#include <cstdio>

const char kTextBusy[] = "接続中です";
const char kTextBusyList[] = "接続中です。";

const char kTextNewMail[] = "新規メールがあります";
const char kTextNoMailInMailbox[] = "メールボックスにメールはありません";
const char kTextNoMail[] = "No Mail";

const char kTextConfirmExit[] = "Kelvorを終了しますか？";
const char kTextExitCaption[] = "Kelvor";

const char kTextAlreadyRunning[] = "Kelvorはすでに起動しています。";

const char kTextAboutMenuEntry[] = "ﾊﾞｰｼﾞｮﾝ情報(Kelvor) (&A)...";
const char kTextSocketsInitFailed[] = "Windows ｿｹｯﾄの初期化に失敗しました。";
const char kTextParseInt[] = "整数を入力してください。";
const char kTextParseIntRange[] = "%1 から %2 までの整数を入力してください。";

std::string FormatMailCountReport(int messageCount, long long newCount)
{
    char report[160];
    std::snprintf(report, sizeof report,
                  "メールボックスの中に %d 通のメールがあります\r\n\r\n（うち新規メール %lld 通）",
                  messageCount, newCount);
    return report;
}
