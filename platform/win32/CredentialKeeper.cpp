// The Credential Manager through CredReadW, CredWriteW and CredDeleteW of advapi32. The texts
// cross to the system in UTF-16; the password is kept as its UTF-16 form, as Windows' own
// programs keep theirs.
#include "platform/win32/CredentialKeeper.h"

#include "platform/win32/SystemHeaders.h"

#include <wincred.h>

#include <utility>

namespace {

constexpr UINT kShiftJisCodePage = 932;
const char kTargetPrefix[] = "Kelvor/";
const wchar_t kComment[] = L"Kelvor mailbox password";

// False when a byte has no Unicode counterpart, so that nothing is ever kept altered.
bool ToWide(const std::string& text, std::wstring& wide)
{
    wide.clear();
    if (text.empty())
        return true;
    const int length = MultiByteToWideChar(kShiftJisCodePage, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return false;
    wide.resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(kShiftJisCodePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                               wide.data(), length) == length;
}

bool FromWide(const wchar_t* wide, std::size_t length, std::string& text)
{
    text.clear();
    if (length == 0)
        return true;
    BOOL lost = FALSE;
    const int size = WideCharToMultiByte(kShiftJisCodePage, 0, wide, static_cast<int>(length), nullptr, 0,
                                         nullptr, &lost);
    if (size <= 0 || lost)
        return false;
    text.resize(static_cast<std::size_t>(size));
    return WideCharToMultiByte(kShiftJisCodePage, 0, wide, static_cast<int>(length), text.data(), size, nullptr,
                               &lost) == size &&
           !lost;
}

std::string Escaped(const std::string& part)
{
    std::string escaped;
    for (char c : part) {
        if (c == '%')
            escaped += "%25";
        else if (c == '/')
            escaped += "%2F";
        else
            escaped += c;
    }
    return escaped;
}

// Without a logon session (a service's process) there is no Credential Manager; a name it
// cannot take, or any other refusal, is a keeper that did not answer.
KeeperAnswer FailureAnswer(DWORD error)
{
    if (error == ERROR_NOT_FOUND)
        return KeeperAnswer::NotFound;
    if (error == ERROR_NO_SUCH_LOGON_SESSION)
        return KeeperAnswer::Absent;
    return KeeperAnswer::NoAnswer;
}

}  // namespace

CCredentialKeeper::CCredentialKeeper(std::string programName) : m_programName(std::move(programName))
{
}

std::string CCredentialKeeper::TargetName(const std::string& server, const std::string& user) const
{
    return kTargetPrefix + Escaped(m_programName) + "/" + Escaped(server) + "/" + Escaped(user);
}

KeeperAnswer CCredentialKeeper::Read(const std::string& server, const std::string& user, std::string& password)
{
    std::wstring target;
    if (!ToWide(TargetName(server, user), target))
        return KeeperAnswer::Absent;
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &credential))
        return FailureAnswer(GetLastError());
    const std::size_t characters = credential->CredentialBlobSize / sizeof(wchar_t);
    const bool converted = FromWide(reinterpret_cast<const wchar_t*>(credential->CredentialBlob), characters,
                                    password);
    CredFree(credential);
    if (!converted) {
        // Not a password this program stored: leave it alone, as one that could not be read.
        password.clear();
        return KeeperAnswer::NoAnswer;
    }
    return KeeperAnswer::Done;
}

KeeperAnswer CCredentialKeeper::Store(const std::string& server, const std::string& user,
                                      const std::string& password)
{
    std::wstring target;
    std::wstring wideUser;
    std::wstring widePassword;
    if (!ToWide(TargetName(server, user), target) || !ToWide(user, wideUser) || !ToWide(password, widePassword))
        return KeeperAnswer::Absent;
    CREDENTIALW credential = {};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.Comment = const_cast<wchar_t*>(kComment);
    credential.CredentialBlobSize = static_cast<DWORD>(widePassword.size() * sizeof(wchar_t));
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(widePassword.data());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    credential.UserName = wideUser.data();
    // A password longer than a credential holds (2,560 bytes) is refused and stays in the file.
    if (credential.CredentialBlobSize > CRED_MAX_CREDENTIAL_BLOB_SIZE)
        return KeeperAnswer::NoAnswer;
    if (!CredWriteW(&credential, 0))
        return GetLastError() == ERROR_NO_SUCH_LOGON_SESSION ? KeeperAnswer::Absent : KeeperAnswer::NoAnswer;
    return KeeperAnswer::Done;
}

KeeperAnswer CCredentialKeeper::Forget(const std::string& server, const std::string& user)
{
    std::wstring target;
    if (!ToWide(TargetName(server, user), target))
        return KeeperAnswer::Absent;
    if (!CredDeleteW(target.c_str(), CRED_TYPE_GENERIC, 0)) {
        const KeeperAnswer answer = FailureAnswer(GetLastError());
        return answer == KeeperAnswer::NotFound ? KeeperAnswer::Done : answer;
    }
    return KeeperAnswer::Done;
}

namespace {

const wchar_t kTokenComment[] = L"Kelvor sign-in with the mail provider (refresh token)";

// A session without a Credential Manager answers NoAnswer: the token stays out of the file.
KeeperAnswer TokenFailureAnswer(DWORD error)
{
    const KeeperAnswer answer = FailureAnswer(error);
    return answer == KeeperAnswer::Absent ? KeeperAnswer::NoAnswer : answer;
}

// The bytes of the credential named target, as they were written.
DWORD ReadBytes(const std::string& target, std::string& bytes)
{
    bytes.clear();
    std::wstring wide;
    if (!ToWide(target, wide))
        return ERROR_INVALID_PARAMETER;
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(wide.c_str(), CRED_TYPE_GENERIC, 0, &credential))
        return GetLastError();
    bytes.assign(reinterpret_cast<const char*>(credential->CredentialBlob), credential->CredentialBlobSize);
    CredFree(credential);
    return ERROR_SUCCESS;
}

DWORD WriteBytes(const std::string& target, const std::string& user, const std::string& bytes)
{
    std::wstring wideTarget;
    std::wstring wideUser;
    if (!ToWide(target, wideTarget) || !ToWide(user, wideUser))
        return ERROR_INVALID_PARAMETER;
    std::string blob = bytes;
    CREDENTIALW credential = {};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = wideTarget.data();
    credential.Comment = const_cast<wchar_t*>(kTokenComment);
    credential.CredentialBlobSize = static_cast<DWORD>(blob.size());
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    credential.UserName = wideUser.data();
    return CredWriteW(&credential, 0) ? ERROR_SUCCESS : GetLastError();
}

DWORD DeleteCredential(const std::string& target)
{
    std::wstring wide;
    if (!ToWide(target, wide))
        return ERROR_INVALID_PARAMETER;
    return CredDeleteW(wide.c_str(), CRED_TYPE_GENERIC, 0) ? ERROR_SUCCESS : GetLastError();
}

// Reads "a 3": the set letter and the count of parts. false for anything else.
bool ParseHead(const std::string& head, char& set, int& count)
{
    if (head.size() < 3 || (head[0] != 'a' && head[0] != 'b') || head[1] != ' ')
        return false;
    count = 0;
    for (std::size_t i = 2; i < head.size(); ++i) {
        if (head[i] < '0' || head[i] > '9' || count > CTokenCredentialKeeper::kMaxParts)
            return false;
        count = count * 10 + (head[i] - '0');
    }
    set = head[0];
    return count >= 1 && count <= CTokenCredentialKeeper::kMaxParts;
}

}  // namespace

CTokenCredentialKeeper::CTokenCredentialKeeper(std::string programName) : m_names(std::move(programName)) {}

std::string CTokenCredentialKeeper::HeadName(const std::string& server, const std::string& user) const
{
    return m_names.TargetName(server, user) + "/sign-in";
}

std::string CTokenCredentialKeeper::PartName(const std::string& server, const std::string& user, char set,
                                             int index) const
{
    return HeadName(server, user) + "/" + set + std::to_string(index);
}

KeeperAnswer CTokenCredentialKeeper::Read(const std::string& server, const std::string& user, std::string& token)
{
    token.clear();
    const auto unkept = m_unkept.find(HeadName(server, user));
    if (unkept != m_unkept.end()) {
        token = unkept->second;
        return KeeperAnswer::Done;
    }
    std::string head;
    const DWORD error = ReadBytes(HeadName(server, user), head);
    if (error != ERROR_SUCCESS)
        return TokenFailureAnswer(error);
    char set = 'a';
    int count = 0;
    // A head this program did not write, or a part the user removed: no token is kept.
    if (!ParseHead(head, set, count))
        return KeeperAnswer::NotFound;
    std::string whole;
    for (int index = 1; index <= count; ++index) {
        std::string part;
        const DWORD partError = ReadBytes(PartName(server, user, set, index), part);
        if (partError == ERROR_NOT_FOUND)
            return KeeperAnswer::NotFound;
        if (partError != ERROR_SUCCESS)
            return TokenFailureAnswer(partError);
        whole += part;
    }
    token = whole;
    return KeeperAnswer::Done;
}

KeeperAnswer CTokenCredentialKeeper::Store(const std::string& server, const std::string& user,
                                           const std::string& token)
{
    const std::size_t parts = (token.size() + kPartBytes - 1) / kPartBytes;
    if (parts == 0 || parts > static_cast<std::size_t>(kMaxParts) || WriteParts(server, user, token) != ERROR_SUCCESS)
        m_unkept[HeadName(server, user)] = token;
    else
        m_unkept.erase(HeadName(server, user));
    return KeeperAnswer::Done;
}

unsigned long CTokenCredentialKeeper::WriteParts(const std::string& server, const std::string& user, const std::string& token)
{
    std::string head;
    char oldSet = 'b';
    int oldCount = 0;
    if (ReadBytes(HeadName(server, user), head) != ERROR_SUCCESS || !ParseHead(head, oldSet, oldCount)) {
        oldSet = 'b';
        oldCount = 0;
    }
    const char set = oldSet == 'a' ? 'b' : 'a';
    const int count = static_cast<int>((token.size() + kPartBytes - 1) / kPartBytes);
    for (int index = 1; index <= count; ++index) {
        const DWORD error = WriteBytes(PartName(server, user, set, index), user,
                                       token.substr(static_cast<std::size_t>(index - 1) * kPartBytes, kPartBytes));
        if (error != ERROR_SUCCESS)
            return error;
    }
    const DWORD error = WriteBytes(HeadName(server, user), user, std::string(1, set) + " " + std::to_string(count));
    if (error != ERROR_SUCCESS)
        return error;
    // The old set, and parts of this set left beyond its count by an earlier token, go.
    for (int index = 1; index <= oldCount; ++index)
        DeleteCredential(PartName(server, user, oldSet, index));
    for (int index = count + 1; index <= kMaxParts; ++index) {
        if (DeleteCredential(PartName(server, user, set, index)) != ERROR_SUCCESS)
            break;
    }
    return ERROR_SUCCESS;
}

KeeperAnswer CTokenCredentialKeeper::Forget(const std::string& server, const std::string& user)
{
    m_unkept.erase(HeadName(server, user));
    const DWORD error = DeleteCredential(HeadName(server, user));
    if (error != ERROR_SUCCESS && error != ERROR_NOT_FOUND)
        return TokenFailureAnswer(error);
    for (char set : {'a', 'b'}) {
        for (int index = 1; index <= kMaxParts; ++index) {
            if (DeleteCredential(PartName(server, user, set, index)) != ERROR_SUCCESS)
                break;
        }
    }
    return KeeperAnswer::Done;
}
