// ReadRegistryString on Windows: the only code that calls the registry itself.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <string>

#include "Mod_Registry.h"
#include "RegistryValue.h"

namespace quorvel {

namespace {

// The wide calls take UTF-16 text, so the program's UTF-8 names pass unchanged
// whatever the ANSI code page is.
std::wstring WideText(std::string_view text) {
    const std::u16string units = Utf8ToUtf16(text);
    return std::wstring(units.begin(), units.end());
}

// Reading needs no more rights than querying values: users without write access to
// HKLM can still read the host's registration.
LSTATUS OpenForReading(HKEY root, const std::wstring& subKey, HKEY& key) {
    LSTATUS status = RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (status == ERROR_FILE_NOT_FOUND) {
        // A 32-bit host registers itself in the 32-bit view of a 64-bit system.
        status = RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key);
    }
    return status;
}

}  // namespace

std::string ReadRegistryString(RegistryRoot root, std::string_view subKey,
                               std::string_view valueName, std::int32_t& errorCode) {
    errorCode = 0;
    HKEY key = nullptr;
    LSTATUS status =
        OpenForReading(root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                       WideText(subKey), key);
    if (status != ERROR_SUCCESS) {
        errorCode = static_cast<std::int32_t>(status);
        return {};
    }
    RegistryValue value;
    value.data.assign(kRegistryBufferSize, '\0');
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(kRegistryBufferSize);
    const std::wstring name = WideText(valueName);
    status = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(value.data.data()), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        errorCode = static_cast<std::int32_t>(status);
        return {};
    }
    value.type = type;
    value.data.resize(std::min<std::size_t>(size, kRegistryBufferSize));
    return RegistryValueText(value);
}

}  // namespace quorvel
