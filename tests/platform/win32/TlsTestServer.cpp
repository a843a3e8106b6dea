// Finding the TLS test server and trusting its CA the way a user or an administrator would:
// the CA certificate goes into the current user's "Root" store.
#include "TlsTestServer.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "ProgramDriver.h"

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool TrustCertificateAuthority(const std::string& pemFile, std::string& error)
{
    std::ifstream file(WindowsPath(pemFile), std::ios::binary);
    std::string pem((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    DWORD size = 0;
    if (pem.empty() || !CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                                             CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
        error = "cannot read the CA certificate " + pemFile;
        return false;
    }
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                         &size, nullptr, nullptr);
    HCERTSTORE roots = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    bool added = roots != nullptr &&
                 CertAddEncodedCertificateToStore(roots, X509_ASN_ENCODING, der.data(), size,
                                                  CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (roots != nullptr)
        CertCloseStore(roots, 0);
    if (!added)
        error = "cannot add the CA certificate to the current user's roots";
    return added;
}

}  // namespace

bool FindTlsTestServer(TlsTestServer& server, std::string& error)
{
    server.port = std::atoi(Environment("KELVOR_DOVECOT_PORT").c_str());
    server.tlsPort = std::atoi(Environment("KELVOR_DOVECOT_TLS_PORT").c_str());
    server.user = Environment("KELVOR_DOVECOT_USER");
    server.password = Environment("KELVOR_DOVECOT_PASSWORD");
    if (server.port <= 0 || server.tlsPort <= 0 || server.user.empty()) {
        error = "no TLS test server: run the Windows tests through scripts/test-windows, which starts one";
        return false;
    }
    return TrustCertificateAuthority(Environment("KELVOR_DOVECOT_CA"), error);
}

bool FindSignInTestServer(SignInTestServer& server, std::string& error)
{
    server.port = std::atoi(Environment("KELVOR_OAUTH2_DOVECOT_PORT").c_str());
    server.user = Environment("KELVOR_DOVECOT_USER");
    server.authorizationServer = Environment("KELVOR_OAUTH2_SERVER");
    server.browserLog = Environment("KELVOR_BROWSER_LOG");
    if (server.port <= 0 || server.user.empty() || server.authorizationServer.empty() || server.browserLog.empty()) {
        error = "no sign-in test server: run the Windows tests through scripts/test-windows, which starts one";
        return false;
    }
    return true;
}
