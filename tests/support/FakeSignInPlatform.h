// FakeSignInPlatform: a SignInPlatform for tests. The token endpoint answers from a queue and
// records what it was sent; the listener for the browser hands scripted request targets, one
// each time it is asked, and records the statuses it answers with. Random bytes are all 0x01,
// so the state of a sign-in is kFakeState; SHA-256 is OpenSSL's where the tests have it.
#ifndef KELVOR_TESTS_SUPPORT_FAKESIGNINPLATFORM_H
#define KELVOR_TESTS_SUPPORT_FAKESIGNINPLATFORM_H

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "signin/SignInPlatform.h"
#if KELVOR_TESTS_HAVE_OPENSSL
#include <openssl/sha.h>
#endif

// base64url of sixteen 0x01 bytes; "STATE" in a scripted target stands for it.
inline const std::string kFakeState = "AQEBAQEBAQEBAQEBAQEBAQ";

class FakeSignInPlatform : public SignInPlatform {
public:
    struct Post {
        std::string url;
        std::string body;
    };
    // The token endpoint's answers in order; when none is left, no answer ("connection refused").
    std::deque<HttpResponse> answers;
    std::vector<Post> posts;
    // Request targets that reach the listener, in order.
    std::deque<std::string> requests;
    std::vector<int> answeredStatuses;
    bool alsoIpv6 = false;

    int PostForm(const std::string& url, const std::string& body, int, std::size_t, HttpResponse& response,
                 std::string& reason) override
    {
        posts.push_back({url, body});
        if (answers.empty()) {
            reason = "connection refused";
            return 0;
        }
        response = answers.front();
        answers.pop_front();
        return 1;
    }

    int Sha256(std::string_view data, std::array<unsigned char, 32>& digest) override
    {
        digest.fill(0);
#if KELVOR_TESTS_HAVE_OPENSSL
        SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest.data());
#else
        (void)data;
#endif
        return 1;
    }

    int RandomBytes(unsigned char* bytes, std::size_t count) override
    {
        std::memset(bytes, 1, count);
        return 1;
    }

    std::unique_ptr<RedirectListener> NewRedirectListener() override
    {
        return std::make_unique<Listener>(*this);
    }

private:
    class Listener : public RedirectListener {
    public:
        explicit Listener(FakeSignInPlatform& platform) : m_platform(platform) {}
        int Open(bool alsoIpv6, int& port, std::string&) override
        {
            m_platform.alsoIpv6 = alsoIpv6;
            port = 8642;
            return 1;
        }
        int NextRequest(std::string& target) override
        {
            if (m_platform.requests.empty())
                return 0;
            target = m_platform.requests.front();
            m_platform.requests.pop_front();
            const std::size_t marker = target.find("STATE");
            if (marker != std::string::npos)
                target.replace(marker, 5, kFakeState);
            return 1;
        }
        void Answer(int status, const std::string&) override { m_platform.answeredStatuses.push_back(status); }
        void Close() override {}

    private:
        FakeSignInPlatform& m_platform;
    };
};

#endif
