// The sign-in's platform part on Linux. The token endpoint is asked through libcurl: it is on
// every Linux desktop already, speaks HTTP/1.1 and HTTP/2 over OpenSSL, resolves names in a
// thread of its own so that the look-up too stays inside the request's time limit, and leaves
// us only the few lines below instead of an HTTP client of our own. Its certificate checks are
// set to those of the POP3 connection: the same trusted roots and the same host name rules.
#include "platform/posix/PosixSignInPlatform.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <climits>
#include <cstring>
#include <mutex>

#include "platform/posix/PosixRedirectListener.h"

namespace {

// The scheme and host of an address, as libcurl reads it (so that no other reading of the
// address decides where the request goes); the host of an IPv6 address without its brackets.
bool SchemeAndHost(const std::string& url, std::string& scheme, std::string& host)
{
    CURLU* parsed = curl_url();
    if (parsed == nullptr)
        return false;
    char* schemePart = nullptr;
    char* hostPart = nullptr;
    bool read = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
                curl_url_get(parsed, CURLUPART_SCHEME, &schemePart, 0) == CURLUE_OK &&
                curl_url_get(parsed, CURLUPART_HOST, &hostPart, 0) == CURLUE_OK;
    if (read) {
        scheme = schemePart;
        host = hostPart;
        if (host.size() > 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
    }
    curl_free(schemePart);
    curl_free(hostPart);
    curl_url_cleanup(parsed);
    return read;
}

bool IsAddressLiteral(const std::string& host)
{
    in_addr ipv4;
    in6_addr ipv6;
    return inet_pton(AF_INET, host.c_str(), &ipv4) == 1 || inet_pton(AF_INET6, host.c_str(), &ipv6) == 1;
}

// 127.0.0.0/8, ::1, or "localhost", which libcurl answers with the loopback addresses itself
// without asking any name server.
bool IsLoopback(const std::string& host)
{
    in_addr ipv4;
    in6_addr ipv6;
    if (inet_pton(AF_INET, host.c_str(), &ipv4) == 1)
        return (ntohl(ipv4.s_addr) >> 24) == 127;
    if (inet_pton(AF_INET6, host.c_str(), &ipv6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&ipv6);
    return host == "localhost";
}

// The answer's body as it arrives, refused as soon as it would pass the cap.
struct Collected {
    std::string body;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
};

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* destination)
{
    auto* collected = static_cast<Collected*>(destination);
    std::size_t length = size * count;
    if (length > collected->maxBytes - collected->body.size()) {
        collected->tooLarge = true;
        return 0;  // libcurl ends the transfer with CURLE_WRITE_ERROR
    }
    collected->body.append(data, length);
    return length;
}

// libcurl calls this with each new OpenSSL context before the handshake. It makes the checks
// those of the POP3 connection (platform/posix/TlsSessionOpenSsl.cpp): the system's roots, or
// those of SSL_CERT_FILE and SSL_CERT_DIR; the host checked by OpenSSL against the names of
// the subjectAltName only, never the subject's common name, a wildcard standing only for a
// whole label, and an address against the certificate's addresses. libcurl's own host check
// runs as well; both must pass.
CURLcode PrepareTls(CURL*, void* sslContext, void* hostText)
{
    auto* context = static_cast<SSL_CTX*>(sslContext);
    const std::string& host = *static_cast<const std::string*>(hostText);
    if (SSL_CTX_set_default_verify_paths(context) != 1)
        return CURLE_SSL_CACERT_BADFILE;
    X509_VERIFY_PARAM* checks = SSL_CTX_get0_param(context);
    X509_VERIFY_PARAM_set_hostflags(checks,
                                    X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS | X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
    int set = IsAddressLiteral(host) ? X509_VERIFY_PARAM_set1_ip_asc(checks, host.c_str())
                                     : X509_VERIFY_PARAM_set1_host(checks, host.c_str(), host.size());
    return set == 1 ? CURLE_OK : CURLE_SSL_CERTPROBLEM;
}

// Text without line ends, so that a reason stays on the one line it is shown on.
std::string OneLine(std::string text)
{
    for (char& c : text) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return text;
}

}  // namespace

PosixSignInPlatform::PosixSignInPlatform()
{
    // libcurl's global start is not safe beside other threads' calls into it: once, here.
    static std::once_flag started;
    std::call_once(started, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int PosixSignInPlatform::PostForm(const std::string& url, const std::string& body, int timeLimitMilliseconds,
                                  std::size_t maxBytes, HttpResponse& response, std::string& reason)
{
    response = HttpResponse();
    std::string scheme;
    std::string host;
    if (!SchemeAndHost(url, scheme, host)) {
        reason = "the address cannot be read: " + OneLine(url);
        return 0;
    }
    const bool loopbackHttp = scheme == "http" && IsLoopback(host);
    if (scheme != "https" && !loopbackHttp) {
        reason = "only https: addresses are allowed, and http: to this computer only: " + OneLine(url);
        return 0;
    }
    if (timeLimitMilliseconds <= 0) {
        reason = "no time left for the request";
        return 0;
    }
    CURL* request = curl_easy_init();
    if (request == nullptr) {
        reason = "the HTTP request could not be set up";
        return 0;
    }
    Collected collected;
    collected.maxBytes = maxBytes;
    char failure[CURL_ERROR_SIZE] = {};
    curl_slist* headers = curl_slist_append(nullptr, "Accept: application/json");
    // A long refresh token makes a body over 1 KiB, after which libcurl would first ask the
    // server whether to go on ("Expect: 100-continue") and wait a second for servers that
    // never answer that.
    headers = curl_slist_append(headers, "Expect:");

    curl_easy_setopt(request, CURLOPT_URL, url.c_str());
    curl_easy_setopt(request, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(request, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(request, CURLOPT_POST, 1L);
    curl_easy_setopt(request, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(request, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(request, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(request, CURLOPT_USERAGENT, "Kelvor");
    // The whole request, the name look-up included (libcurl resolves in a thread of its own),
    // ends within the limit; no signal is used for it.
    curl_easy_setopt(request, CURLOPT_TIMEOUT_MS, static_cast<long>(timeLimitMilliseconds));
    curl_easy_setopt(request, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(request, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    curl_easy_setopt(request, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(request, CURLOPT_WRITEDATA, &collected);
    curl_easy_setopt(request, CURLOPT_ERRORBUFFER, failure);
    curl_easy_setopt(request, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(request, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(request, CURLOPT_SSL_VERIFYHOST, 2L);
    // No roots of libcurl's own choosing: PrepareTls loads the ones the POP3 connection uses.
    curl_easy_setopt(request, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(request, CURLOPT_CAPATH, nullptr);
    curl_easy_setopt(request, CURLOPT_SSL_CTX_FUNCTION, PrepareTls);
    curl_easy_setopt(request, CURLOPT_SSL_CTX_DATA, &host);
    // This computer is reached directly, never through a proxy that the environment names.
    if (loopbackHttp)
        curl_easy_setopt(request, CURLOPT_NOPROXY, "*");

    CURLcode result = curl_easy_perform(request);
    long status = 0;
    curl_easy_getinfo(request, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(request);

    if (result != CURLE_OK) {
        if (collected.tooLarge || result == CURLE_FILESIZE_EXCEEDED)
            reason = "the answer is longer than " + std::to_string(maxBytes) + " bytes";
        else if (result == CURLE_OPERATION_TIMEDOUT)
            reason = "no answer within " + std::to_string(timeLimitMilliseconds) + " ms";
        else
            reason = OneLine(failure[0] != '\0' ? failure : curl_easy_strerror(result));
        return 0;
    }
    response.status = static_cast<int>(status);
    response.body = std::move(collected.body);
    reason.clear();
    return 1;
}

int PosixSignInPlatform::Sha256(std::string_view data, std::array<unsigned char, 32>& digest)
{
    unsigned int length = 0;
    return EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha256(), nullptr) == 1 &&
                   length == digest.size()
               ? 1
               : 0;
}

int PosixSignInPlatform::RandomBytes(unsigned char* bytes, std::size_t count)
{
    // OpenSSL's generator, seeded from the system's (getrandom), in pieces its int counts take.
    while (count > 0) {
        int piece = count > INT_MAX ? INT_MAX : static_cast<int>(count);
        if (RAND_bytes(bytes, piece) != 1)
            return 0;
        bytes += piece;
        count -= static_cast<std::size_t>(piece);
    }
    return 1;
}

std::unique_ptr<RedirectListener> PosixSignInPlatform::NewRedirectListener()
{
    return std::make_unique<PosixRedirectListener>();
}
