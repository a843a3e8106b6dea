// BCrypt through the calls every Windows from Vista on has (and Wine too): a hash object made,
// fed and finished, rather than the one-call BCryptHash of Windows 10; the random bytes from
// the system's preferred generator, with no algorithm handle to keep.
#include "platform/win32/Win32SignInPlatform.h"

#include "platform/win32/SystemHeaders.h"

#include <bcrypt.h>

#include <vector>

#include "platform/win32/FormPost.h"
#include "platform/win32/RedirectListenerWinsock.h"

namespace {

bool Succeeded(NTSTATUS status)
{
    return status >= 0;
}

}  // namespace

int CWin32SignInPlatform::PostForm(const std::string& url, const std::string& body, int timeLimitMilliseconds,
                                   std::size_t maxBytes, HttpResponse& response, std::string& reason)
{
    return PostFormOverStream(url, body, timeLimitMilliseconds, maxBytes, response, reason);
}

int CWin32SignInPlatform::Sha256(std::string_view data, std::array<unsigned char, 32>& digest)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return 0;
    DWORD objectLength = 0;
    DWORD written = 0;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<unsigned char> object;
    bool done = Succeeded(BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                                            sizeof objectLength, &written, 0));
    if (done) {
        // Windows 7 wants the caller's memory for the hash object.
        object.resize(objectLength);
        done = Succeeded(BCryptCreateHash(algorithm, &hash, object.data(), objectLength, nullptr, 0, 0));
    }
    // BCryptHashData takes at most 4 GiB at once; a sign-in never hashes that much, but the
    // data is fed in pieces all the same so that no length is cut.
    constexpr std::size_t kPiece = 1u << 30;
    for (std::size_t offset = 0; done && offset < data.size(); offset += kPiece) {
        const std::size_t length = data.size() - offset < kPiece ? data.size() - offset : kPiece;
        done = Succeeded(BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data() + offset)),
                                        static_cast<ULONG>(length), 0));
    }
    if (done)
        done = Succeeded(BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
    if (hash != nullptr)
        BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return done ? 1 : 0;
}

int CWin32SignInPlatform::RandomBytes(unsigned char* bytes, std::size_t count)
{
    constexpr std::size_t kPiece = 1u << 30;
    for (std::size_t offset = 0; offset < count; offset += kPiece) {
        const std::size_t length = count - offset < kPiece ? count - offset : kPiece;
        if (!Succeeded(BCryptGenRandom(nullptr, bytes + offset, static_cast<ULONG>(length),
                                       BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
            return 0;
    }
    return 1;
}

std::unique_ptr<RedirectListener> CWin32SignInPlatform::NewRedirectListener()
{
    return std::make_unique<CRedirectListenerWinsock>();
}
