// CKelvorDlg's field exchange: the five settings between the window's controls and the
// members, with the validation of the interval and its two messages.
#include <climits>
#include <string>

#include "app/KelvorDlg.h"
#include "app/ResourceStrings.h"
#include "res/resource.h"

namespace {

// The interval field is read through a 32-byte area, like the platform's own integer
// exchange: at most 31 bytes of it count.
constexpr std::size_t kIntervalFieldBytes = 31;
constexpr int kIntervalMinimum = 1;
constexpr int kIntervalMaximum = 60;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A zero byte ends a text wherever it stands.
std::string UpToZeroByte(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

// A user name or password ends at its first CR, LF or zero byte, as the settings file stores
// it: such a byte would otherwise end the line of USER or PASS and smuggle in a command.
std::string UpToLineBreak(const std::string& text)
{
    return text.substr(0, text.find_first_of(std::string("\r\n\0", 3)));
}

// Reads a signed decimal integer surrounded by blanks and tabs. Returns 0 when anything
// else is in the text, or when it reads 0 without starting with the digit 0 (an empty
// field, a lone sign, "-0"). Numbers beyond 32 bits saturate.
int ParseIntervalText(const std::string& field, int& value)
{
    const std::string text = UpToZeroByte(field).substr(0, kIntervalFieldBytes);
    std::size_t position = 0;
    while (position < text.size() && IsBlank(text[position]))
        ++position;
    const std::size_t numberStart = position;

    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    long long magnitude = 0;
    while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
        // Once past the 32-bit range the exact value no longer matters.
        if (magnitude <= static_cast<long long>(INT_MAX) + 1)
            magnitude = magnitude * 10 + (text[position] - '0');
        ++position;
    }
    while (position < text.size() && IsBlank(text[position]))
        ++position;
    if (position != text.size())
        return 0;

    long long number = negative ? -magnitude : magnitude;
    if (number > INT_MAX)
        number = INT_MAX;
    if (number < INT_MIN)
        number = INT_MIN;
    if (number == 0 && (numberStart >= text.size() || text[numberStart] != '0'))
        return 0;
    value = static_cast<int>(number);
    return 1;
}

bool IsIntervalInRange(int interval)
{
    return interval >= kIntervalMinimum && interval <= kIntervalMaximum;
}

// Puts the two arguments into a message of the form "%1 ... %2 ...".
std::string FormatTwoArguments(const std::string& pattern, const std::string& first,
                               const std::string& second)
{
    std::string result;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
            result += pattern[i + 1] == '1' ? first : second;
            ++i;
        } else {
            result += pattern[i];
        }
    }
    return result;
}

}  // namespace

std::string CKelvorDlg::LoadStringOrOwn(int stringId)
{
    std::string text = m_window.LoadString(stringId);
    if (text.empty())
        text = ResourceString(stringId);
    return text;
}

int CKelvorDlg::FailIntervalField(const std::string& message)
{
    m_window.ShowMessage(message, m_applicationTitle, MessageStyle::Exclamation);
    m_window.FocusAndSelectAll(IDC_INTERVAL);
    return 0;
}

int CKelvorDlg::ExchangeFields(FieldDirection direction)
{
    if (direction == FieldDirection::Show) {
        m_window.SetControlText(IDC_INTERVAL, std::to_string(m_interval));
        m_window.SetControlText(IDC_PASSWORD, m_password);
        m_window.SetControlText(IDC_SERVER, m_server);
        m_window.SetControlText(IDC_USER, m_user);
        if (m_popup < 0 || m_popup > 2)
            m_popup = 0;
        m_window.SetCheck(IDC_POPUP, m_popup);
        return 1;
    }

    int interval = 0;
    if (!ParseIntervalText(m_window.GetControlText(IDC_INTERVAL), interval))
        return FailIntervalField(LoadStringOrOwn(IDP_PARSE_INT));
    m_interval = interval;
    if (!IsIntervalInRange(m_interval)) {
        return FailIntervalField(FormatTwoArguments(LoadStringOrOwn(IDP_PARSE_INT_RANGE),
                                                    std::to_string(kIntervalMinimum),
                                                    std::to_string(kIntervalMaximum)));
    }
    TakeLaterFields();
    return 1;
}

void CKelvorDlg::TakeLaterFields()
{
    m_password = UpToLineBreak(m_window.GetControlText(IDC_PASSWORD));
    m_server = m_window.GetControlText(IDC_SERVER);
    m_user = UpToLineBreak(m_window.GetControlText(IDC_USER));
    m_popup = m_window.GetCheck(IDC_POPUP);
}

int CKelvorDlg::TakeFieldsQuietly()
{
    int interval = 0;
    if (!ParseIntervalText(m_window.GetControlText(IDC_INTERVAL), interval) ||
        !IsIntervalInRange(interval))
        return 0;
    m_interval = interval;
    TakeLaterFields();
    return 1;
}
