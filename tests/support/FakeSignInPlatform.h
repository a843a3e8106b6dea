// FakeSignInPlatform: a SignInPlatform for tests. The token endpoint answers from a queue, the
// listener hands scripted request targets; both record. Random bytes are all 0x01.
#ifndef KELVOR_TESTS_SUPPORT_FAKESIGNINPLATFORM_H
#define KELVOR_TESTS_SUPPORT_FAKESIGNINPLATFORM_H

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "signin/SignInPlatform.h"
#if KELVOR_TESTS_HAVE_OPENSSL
#include <openssl/sha.h>
#endif

// base64url of sixteen 0x01 bytes; "STATE" in a scripted target stands for it.
inline const std::string kFakeState = "AQEBAQEBAQEBAQEBAQEBAQ";

class FakeSignInPlatform : public SignInPlatform {
public:
    // When no answer is left: no answer at all ("connection refused").
    std::deque<HttpResponse> answers;
    std::vector<std::pair<std::string, std::string>> posts;  // address and body
    std::deque<std::string> requests;
    std::vector<int> answeredStatuses;

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
    std::unique_ptr<RedirectListener> NewRedirectListener() override { return std::make_unique<Listener>(*this); }

private:
    class Listener : public RedirectListener {
    public:
        explicit Listener(FakeSignInPlatform& platform) : m_platform(platform) {}
        int Open(bool, int& port, std::string&) override
        {
            port = 8642;
            return 1;
        }
        int NextRequest(std::string& target) override
        {
            if (m_platform.requests.empty())
                return 0;
            target = m_platform.requests.front();
            m_platform.requests.pop_front();
            if (target.find("STATE") != std::string::npos)
                target.replace(target.find("STATE"), 5, kFakeState);
            return 1;
        }
        void Answer(int status, const std::string&) override { m_platform.answeredStatuses.push_back(status); }
        void Close() override {}

    private:
        FakeSignInPlatform& m_platform;
    };
};

#endif
