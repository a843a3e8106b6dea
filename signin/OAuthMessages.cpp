// The addresses and form bodies of an OAuth 2.0 sign-in with PKCE, and the reading of the
// browser's return. The token endpoint's JSON is read in TokenAnswer.cpp.
#include "signin/OAuthMessages.h"

#include <array>

#include "decode/Base64Encoding.h"

namespace {

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A query value: "+" is a blank, "%XX" one byte; a "%" without two hex digits stays itself.
std::string PercentDecode(std::string_view value)
{
    std::string decoded;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '+') {
            decoded += ' ';
        } else if (value[i] == '%' && i + 2 < value.size() && HexValue(value[i + 1]) >= 0 &&
                   HexValue(value[i + 2]) >= 0) {
            decoded += static_cast<char>(HexValue(value[i + 1]) * 16 + HexValue(value[i + 2]));
            i += 2;
        } else {
            decoded += value[i];
        }
    }
    return decoded;
}

void AddParameter(std::string& text, const char* name, const std::string& value)
{
    if (!text.empty() && text.back() != '?')
        text += '&';
    text += name;
    text += '=';
    text += PercentEncode(value);
}

}  // namespace

std::string PercentEncode(std::string_view value)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (char c : value) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (IsUnreserved(byte)) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 15];
        }
    }
    return encoded;
}

int PkceChallenge(SignInPlatform& platform, const std::string& verifier, std::string& challenge)
{
    std::array<unsigned char, 32> digest{};
    if (!platform.Sha256(verifier, digest))
        return 0;
    challenge = EncodeBase64Url(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
    return 1;
}

int NewPkce(SignInPlatform& platform, std::string& verifier, std::string& challenge)
{
    std::array<unsigned char, 32> bytes{};
    if (!platform.RandomBytes(bytes.data(), bytes.size()))
        return 0;
    verifier = EncodeBase64Url(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return PkceChallenge(platform, verifier, challenge);
}

int NewState(SignInPlatform& platform, std::string& state)
{
    std::array<unsigned char, 16> bytes{};
    if (!platform.RandomBytes(bytes.data(), bytes.size()))
        return 0;
    state = EncodeBase64Url(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return 1;
}

std::string RedirectAddress(const SignInEntry& entry, int port)
{
    return std::string(entry.redirectToLocalhost ? "http://localhost:" : "http://127.0.0.1:") +
           std::to_string(port) + "/";
}

std::string AuthorizationAddress(const SignInEntry& entry, const std::string& redirectAddress,
                                 const std::string& state, const std::string& challenge,
                                 const std::string& loginHint)
{
    std::string address = entry.authorizeUrl;
    address += address.find('?') == std::string::npos ? '?' : '&';
    AddParameter(address, "response_type", "code");
    AddParameter(address, "client_id", entry.clientId);
    AddParameter(address, "redirect_uri", redirectAddress);
    AddParameter(address, "scope", entry.scope);
    AddParameter(address, "state", state);
    AddParameter(address, "code_challenge", challenge);
    AddParameter(address, "code_challenge_method", "S256");
    if (!loginHint.empty())
        AddParameter(address, "login_hint", loginHint);
    return address;
}

std::string CodeGrantBody(const SignInEntry& entry, const std::string& code,
                          const std::string& redirectAddress, const std::string& verifier)
{
    std::string body;
    AddParameter(body, "grant_type", "authorization_code");
    AddParameter(body, "code", code);
    AddParameter(body, "redirect_uri", redirectAddress);
    AddParameter(body, "client_id", entry.clientId);
    AddParameter(body, "code_verifier", verifier);
    if (!entry.clientSecret.empty())
        AddParameter(body, "client_secret", entry.clientSecret);
    return body;
}

std::string RefreshGrantBody(const SignInEntry& entry, const std::string& refreshToken)
{
    std::string body;
    AddParameter(body, "grant_type", "refresh_token");
    AddParameter(body, "refresh_token", refreshToken);
    AddParameter(body, "client_id", entry.clientId);
    if (!entry.clientSecret.empty())
        AddParameter(body, "client_secret", entry.clientSecret);
    return body;
}

bool ReadRedirectTarget(const std::string& target, RedirectAnswer& answer)
{
    answer = RedirectAnswer();
    if (target.compare(0, 2, "/?") != 0)
        return false;
    std::string_view query(target);
    query.remove_prefix(2);
    query = query.substr(0, query.find('#'));
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        const std::size_t equals = pair.find('=');
        const std::string_view name = pair.substr(0, equals);
        const std::string value = equals == std::string_view::npos ? std::string() : PercentDecode(pair.substr(equals + 1));
        if (name == "code")
            answer.code = value;
        else if (name == "state")
            answer.state = value;
        else if (name == "error")
            answer.error = ProviderText(value);
        else if (name == "error_description")
            answer.errorDescription = ProviderText(value);
        query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    }
    return true;
}

std::string ProviderText(const std::string& text)
{
    std::string shown;
    for (char c : text) {
        if (shown.size() >= 200)
            break;
        shown += c >= 0x20 && c < 0x7F ? c : '?';
    }
    return shown;
}
