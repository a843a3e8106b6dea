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
