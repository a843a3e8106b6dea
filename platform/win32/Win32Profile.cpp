// The settings file through GetPrivateProfileIntA, GetPrivateProfileStringA and
// WritePrivateProfileStringA.
#include "platform/win32/Win32Profile.h"

#include "platform/win32/SystemHeaders.h"

namespace {

// Values are read through a buffer of this size, so at most 4095 bytes of one value arrive.
constexpr DWORD kValueBufferSize = 4096;

}  // namespace

int CWin32Profile::GetInt(const std::string& section, const std::string& key, int defaultValue,
                          const std::string& fileName)
{
    return static_cast<int>(
        GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, fileName.c_str()));
}

std::string CWin32Profile::GetString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, const std::string& fileName)
{
    char value[kValueBufferSize] = {};
    GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), value,
                             kValueBufferSize, fileName.c_str());
    value[kValueBufferSize - 1] = '\0';
    return value;
}

int CWin32Profile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName)
{
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), fileName.c_str())
               ? 1
               : 0;
}
