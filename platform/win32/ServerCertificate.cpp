// The server certificate check of the Windows build: the chain built by the system for server
// authentication must have no fault at all, and the SSL policy must accept it for the host.
// Both are needed: the policy alone lets a chain through that ends at an unknown issuer (a
// server that sends only its own certificate) on some systems.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "platform/win32/ServerCertificate.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The SSL policy's flag that leaves out its check of the server's name (wininet.h calls it
// SECURITY_FLAG_IGNORE_CERT_CN_INVALID; that header is not otherwise needed).
const DWORD kIgnoreServerName = 0x00001000;

std::string Hexadecimal(const char* prefix, unsigned long value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s 0x%08lX", prefix, value);
    return text;
}

// Expired or not yet valid: the first certificate of the chain whose dates do not hold now.
std::string TimeFault(PCCERT_CHAIN_CONTEXT chain)
{
    PCERT_SIMPLE_CHAIN simple = chain->rgpChain[0];
    for (DWORD i = 0; i < simple->cElement; ++i) {
        PCERT_CHAIN_ELEMENT element = simple->rgpElement[i];
        if (element->TrustStatus.dwErrorStatus & CERT_TRUST_IS_NOT_TIME_VALID)
            return CertVerifyTimeValidity(nullptr, element->pCertContext->pCertInfo) < 0 ? "not yet valid"
                                                                                          : "expired";
    }
    return "expired";
}

// The reason for the most telling fault of the chain's status, which is not 0.
std::string ChainFault(PCCERT_CHAIN_CONTEXT chain)
{
    const DWORD status = chain->TrustStatus.dwErrorStatus;
    const struct {
        DWORD bits;
        const char* reason;
    } faults[] = {
        {CERT_TRUST_IS_REVOKED, "revoked"},
        {CERT_TRUST_IS_EXPLICIT_DISTRUST, "explicitly distrusted"},
        {CERT_TRUST_IS_PARTIAL_CHAIN, "partial chain"},
        {CERT_TRUST_IS_UNTRUSTED_ROOT, "untrusted root"},
        {CERT_TRUST_IS_NOT_SIGNATURE_VALID, "invalid signature"},
        {CERT_TRUST_IS_CYCLIC, "cyclic chain"},
        {CERT_TRUST_IS_NOT_TIME_VALID, nullptr},
        {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, "not valid for server authentication"},
        {CERT_TRUST_INVALID_BASIC_CONSTRAINTS, "invalid basic constraints"},
        {CERT_TRUST_INVALID_NAME_CONSTRAINTS | CERT_TRUST_HAS_NOT_SUPPORTED_NAME_CONSTRAINT |
             CERT_TRUST_HAS_NOT_DEFINED_NAME_CONSTRAINT | CERT_TRUST_HAS_NOT_PERMITTED_NAME_CONSTRAINT |
             CERT_TRUST_HAS_EXCLUDED_NAME_CONSTRAINT,
         "name constraints violated"},
        {CERT_TRUST_INVALID_EXTENSION | CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT, "invalid extension"},
        {CERT_TRUST_HAS_WEAK_SIGNATURE, "weak signature"},
    };
    for (const auto& fault : faults) {
        if (status & fault.bits)
            return fault.reason != nullptr ? fault.reason : TimeFault(chain);
    }
    return Hexadecimal("chain status", status);
}

std::string PolicyFault(DWORD error)
{
    switch (error) {
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
        return "name mismatch";
    case static_cast<DWORD>(CERT_E_EXPIRED):
        return "expired";
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_UNTRUSTEDTESTROOT):
        return "untrusted root";
    case static_cast<DWORD>(CERT_E_CHAINING):
        return "partial chain";
    case static_cast<DWORD>(CRYPT_E_REVOKED):
        return "revoked";
    case static_cast<DWORD>(CERT_E_WRONG_USAGE):
        return "not valid for server authentication";
    case static_cast<DWORD>(TRUST_E_CERT_SIGNATURE):
        return "invalid signature";
    case static_cast<DWORD>(CERT_E_ROLE):
    case static_cast<DWORD>(TRUST_E_BASIC_CONSTRAINTS):
        return "invalid basic constraints";
    case static_cast<DWORD>(CERT_E_INVALID_NAME):
        return "name constraints violated";
    default:
        return Hexadecimal("policy error", error);
    }
}

// Whether one of the address entries of the certificate's subjectAltName is address.
bool NamesAddress(PCCERT_CONTEXT certificate, const std::vector<unsigned char>& address)
{
    PCERT_INFO info = certificate->pCertInfo;
    PCERT_EXTENSION extension = CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
    if (extension == nullptr)
        return false;
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                             extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size) ||
        names == nullptr)
        return false;
    bool found = false;
    for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == address.size() &&
                std::memcmp(entry.IPAddress.pbData, address.data(), address.size()) == 0;
    }
    LocalFree(names);
    return found;
}

}  // namespace

std::vector<unsigned char> AddressOfLiteral(const std::string& host)
{
    unsigned char bytes[16];
    if (inet_pton(AF_INET, host.c_str(), bytes) == 1)
        return std::vector<unsigned char>(bytes, bytes + 4);
    if (inet_pton(AF_INET6, host.c_str(), bytes) == 1)
        return std::vector<unsigned char>(bytes, bytes + 16);
    return {};
}

int CheckServerCertificate(PCCERT_CONTEXT certificate, const std::wstring& host,
                           const std::vector<unsigned char>& address, int timeLimitMilliseconds,
                           std::string& reason)
{
    LPSTR serverAuthentication = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = &serverAuthentication;
    // A root or intermediate the system fetches may take no longer than the handshake has left.
    chainPara.dwUrlRetrievalTimeout = static_cast<DWORD>(timeLimitMilliseconds > 0 ? timeLimitMilliseconds : 1);

    PCCERT_CHAIN_CONTEXT chain = nullptr;
    // The server's intermediates travel in the certificate's own store.
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &chainPara, 0,
                                 nullptr, &chain) ||
        chain == nullptr) {
        reason = "the certificate chain could not be built";
        return 0;
    }
    if (chain->cChain == 0 || chain->rgpChain[0]->cElement == 0) {
        CertFreeCertificateChain(chain);
        reason = "the certificate chain could not be built";
        return 0;
    }
    if (chain->TrustStatus.dwErrorStatus != CERT_TRUST_NO_ERROR) {
        reason = ChainFault(chain);
        CertFreeCertificateChain(chain);
        return 0;
    }

    std::vector<wchar_t> serverName(host.begin(), host.end());
    serverName.push_back(L'\0');
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA sslPara{};
    sslPara.cbSize = sizeof sslPara;
    sslPara.dwAuthType = AUTHTYPE_SERVER;
    // An address is left out of the policy's name check and checked against the address
    // entries below instead.
    if (address.empty())
        sslPara.pwszServerName = serverName.data();
    else
        sslPara.fdwChecks = kIgnoreServerName;
    CERT_CHAIN_POLICY_PARA policyPara{};
    policyPara.cbSize = sizeof policyPara;
    policyPara.pvExtraPolicyPara = &sslPara;
    CERT_CHAIN_POLICY_STATUS policyStatus{};
    policyStatus.cbSize = sizeof policyStatus;
    BOOL checked = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policyPara, &policyStatus);
    CertFreeCertificateChain(chain);
    if (!checked) {
        reason = "the certificate could not be checked";
        return 0;
    }
    if (policyStatus.dwError != 0) {
        reason = PolicyFault(policyStatus.dwError);
        return 0;
    }
    if (!address.empty() && !NamesAddress(certificate, address)) {
        reason = PolicyFault(static_cast<DWORD>(CERT_E_CN_NO_MATCH));
        return 0;
    }
    reason.clear();
    return 1;
}
