// Against the system registry: the test writes its own keys below HKLM\Software.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "Mod_Registry.h"
#include "RegistryValue.h"

namespace quorvel {
namespace {

std::wstring Wide(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

// UTF-16 bytes of a text, with or without the closing NUL.
std::string Utf16(std::u16string text, bool closingNul = true) {
    if (closingNul) text += u'\0';
    return {reinterpret_cast<const char*>(text.data()), text.size() * 2};
}

// Writes a value below HKEY_LOCAL_MACHINE, creating its key. Windows adds a closing NUL
// the size leaves out when one follows in memory; a guard behind the data keeps it exact.
void Set(const std::string& key, const std::string& name, DWORD type, const std::string& data) {
    const std::string guarded = data + "\xFF\xFF";
    EXPECT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), Wide(name).c_str(), type,
                              guarded.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
}

TEST(Registry, ReadsValuesAsText) {
    const std::string own = "Quorvel-Test-" + std::to_string(GetCurrentProcessId());
    const std::string key = "Software\\" + own, only32 = "Software\\Wow6432Node\\" + own + "-32";
    Set(only32, "Path", REG_SZ, Utf16(u"C:\\Zelmo32"));
    const std::u16string fits(kRegistryBufferSize / 2 - 1, u'x');
    const struct {
        std::string key, name;
        DWORD type;
        std::string data, text;
        std::int32_t error;
    } cases[] = {
        {key, "Sz", REG_SZ, Utf16(u"C:\\Prog"), "C:\\Prog", 0},
        {key, "OhneNul", REG_SZ, Utf16(u"C:\\Prog", false), "C:\\Prog", 0},
        {key, "Gr\xC3\xBC\xC3\x9F \xCE\xA9", REG_SZ, Utf16(u"C:\\Z\u00FCge \u03A9"),
         "C:\\Z\xC3\xBCge \xCE\xA9", 0},
        {key, "Leer", REG_SZ, "", "", 0},
        {key, "Dword258", REG_DWORD, std::string("\x02\x01\x00\x00", 4), "258", 0},
        {key, "Expand", REG_EXPAND_SZ, Utf16(u"%ProgramFiles%\\Zelmo"), "", 0},
        {key, "Passt", REG_SZ, Utf16(fits), std::string(fits.size(), 'x'), 0},  // all the buffer
        {key, "Lang", REG_SZ, Utf16(fits + u'x'), "", ERROR_MORE_DATA},
        {key, "Fehlt", 0, "", "", ERROR_FILE_NOT_FOUND},
        {key + "-fehlt", "Path", 0, "", "", ERROR_FILE_NOT_FOUND},
        {key + "-32", "Path", 0, "", "C:\\Zelmo32", 0},  // found in the 32-bit view
    };
    for (const auto& c : cases) {
        if (c.type != 0) Set(c.key, c.name, c.type, c.data);
        std::int32_t error = -1;
        const std::string read =
            ReadRegistryString(RegistryRoot::LocalMachine, c.key, c.name, error);
        EXPECT_EQ(std::pair(read, error), std::pair(c.text, c.error)) << c.name;
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(key).c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(only32).c_str());
}

TEST(Registry, HostLookupGivesTheRollingStockFolder) {
    const std::wstring appKey = Wide(std::string(kHostRegistryKey));
    HKEY existing = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, appKey.c_str(), 0, KEY_READ, &existing) == 0) {
        RegCloseKey(existing);
        GTEST_SKIP() << "the host is registered here; its entry stays untouched";
    }
    EXPECT_EQ(RegistryHostLookup().RollingStockFolder(), "");
    Set(std::string(kHostRegistryKey), "Path", REG_SZ, Utf16(u"C:\\Zelmo"));
    EXPECT_EQ(RegistryHostLookup().RollingStockFolder(), "C:\\Zelmo\\Resourcen\\Rollmaterial");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, appKey.c_str());
}

}  // namespace
}  // namespace quorvel
