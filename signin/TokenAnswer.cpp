// Reading the token endpoint's JSON answer (RFC 6749 section 5) with nlohmann-json, whose
// parser is told not to throw: a broken answer is a failed request, never an exception.
#include <algorithm>

#include <nlohmann/json.hpp>

#include "signin/OAuthMessages.h"

namespace {

std::string StringMember(const nlohmann::json& object, const char* name)
{
    const auto member = object.find(name);
    return member != object.end() && member->is_string() ? member->get<std::string>() : std::string();
}

// A lifetime longer than this (three years) is taken as this, so that no arithmetic on it overflows.
constexpr long long kLongestLifetimeSeconds = 100000000;

// expires_in is a number, or a string of digits at some providers; 0 when absent or odd.
long long Seconds(const nlohmann::json& object)
{
    const auto member = object.find("expires_in");
    if (member == object.end())
        return 0;
    if (member->is_number_unsigned())
        return static_cast<long long>(std::min<unsigned long long>(member->get<unsigned long long>(),
                                                                   kLongestLifetimeSeconds));
    if (member->is_number_integer())
        return 0;  // a negative lifetime
    if (member->is_number_float()) {
        const double seconds = member->get<double>();
        return seconds >= 1 && seconds < kLongestLifetimeSeconds ? static_cast<long long>(seconds) : 0;
    }
    if (!member->is_string())
        return 0;
    long long seconds = 0;
    for (char c : member->get<std::string>()) {
        if (c < '0' || c > '9' || seconds > kLongestLifetimeSeconds)
            return 0;
        seconds = seconds * 10 + (c - '0');
    }
    return seconds;
}

bool EqualsBearer(const std::string& type)
{
    static const char kBearer[] = "bearer";
    if (type.size() != sizeof kBearer - 1)
        return false;
    for (std::size_t i = 0; i < type.size(); ++i) {
        if ((type[i] | 0x20) != kBearer[i])
            return false;
    }
    return true;
}

}  // namespace

int ReadTokenAnswer(const HttpResponse& response, TokenAnswer& answer)
{
    answer = TokenAnswer();
    if (response.body.size() > kTokenAnswerCap) {
        answer.error = "answer too large";
        return 0;
    }
    const nlohmann::json object = nlohmann::json::parse(response.body, nullptr, false);
    if (!object.is_object()) {
        answer.error = "HTTP status " + std::to_string(response.status) + ", no JSON object";
        return 0;
    }
    answer.error = ProviderText(StringMember(object, "error"));
    answer.errorDescription = ProviderText(StringMember(object, "error_description"));
    if (response.status != 200 || !answer.error.empty()) {
        if (answer.error.empty())
            answer.error = "HTTP status " + std::to_string(response.status);
        return 0;
    }
    answer.accessToken = StringMember(object, "access_token");
    answer.refreshToken = StringMember(object, "refresh_token");
    answer.expiresInSeconds = Seconds(object);
    const std::string type = StringMember(object, "token_type");
    if (answer.accessToken.empty() || !EqualsBearer(type)) {
        answer.accessToken.clear();
        answer.refreshToken.clear();
        answer.error = "no bearer access token in the answer";
        return 0;
    }
    return 1;
}
