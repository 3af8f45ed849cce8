// The registry reading against the system registry: the test writes its own keys
// below HKEY_LOCAL_MACHINE\Software and removes them again.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "Mod_Registry.h"

namespace quorvel {
namespace {

std::wstring Wide(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    wide.data(), static_cast<int>(wide.size())));
    return wide;
}

// UTF-16 bytes of a text, with or without the closing NUL.
std::string Utf16(std::u16string text, bool closingNul = true) {
    if (closingNul) text += u'\0';
    return {reinterpret_cast<const char*>(text.data()), text.size() * 2};
}

// A key of the test's own in the given registry view, removed with its values.
class OwnKey {
  public:
    OwnKey(const std::string& path, REGSAM view = 0) : path_(Wide(path)), view_(view) {
        created_ = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0,
                                   KEY_ALL_ACCESS | view, nullptr, &key_, nullptr);
        EXPECT_EQ(created_, ERROR_SUCCESS) << path;
    }
    ~OwnKey() {
        if (created_ != ERROR_SUCCESS) return;
        RegCloseKey(key_);
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), view_, 0);
    }
    void Set(const std::string& name, DWORD type, const std::string& data) const {
        // Windows adds a closing NUL the size leaves out when one follows in memory; a
        // guard behind the data keeps its bytes exact.
        const std::string guarded = data + "\xFF\xFF";
        EXPECT_EQ(RegSetValueExW(key_, Wide(name).c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(guarded.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS)
            << name;
    }

  private:
    std::wstring path_;
    REGSAM view_;
    HKEY key_ = nullptr;
    LSTATUS created_ = ERROR_INVALID_FUNCTION;
};

const std::string kKey = "Software\\Quorvel-Test-" + std::to_string(GetCurrentProcessId());

TEST(Registry, ReadsValuesAsText) {
    const OwnKey key(kKey);
    const OwnKey only32(kKey + "-32", KEY_WOW64_32KEY);
    only32.Set("Path", REG_SZ, Utf16(u"C:\\Zelmo32"));
    const struct {
        std::string key, name;
        DWORD type;
        std::string data, text;
        std::int32_t error;
    } cases[] = {
        {kKey, "Sz", REG_SZ, Utf16(u"C:\\Prog"), "C:\\Prog", 0},
        {kKey, "OhneNul", REG_SZ, Utf16(u"C:\\Prog", false), "C:\\Prog", 0},
        {kKey, "Gr\xC3\xBC\xC3\x9F \xCE\xA9", REG_SZ, Utf16(u"C:\\Z\u00FCge \u03A9"),
         "C:\\Z\xC3\xBCge \xCE\xA9", 0},
        {kKey, "Leer", REG_SZ, "", "", 0},
        {kKey, "Dword258", REG_DWORD, std::string("\x02\x01\x00\x00", 4), "258", 0},
        {kKey, "Dword10", REG_DWORD, std::string("\x0A\x00\x00\x00", 4), "10", 0},
        {kKey, "Expand", REG_EXPAND_SZ, Utf16(u"%ProgramFiles%\\Zelmo"), "", 0},
        {kKey, "Lang", REG_SZ, Utf16(std::u16string(600, u'x')), "", ERROR_MORE_DATA},
        {kKey, "Fehlt", 0, "", "", ERROR_FILE_NOT_FOUND},
        {kKey + "-fehlt", "Path", 0, "", "", ERROR_FILE_NOT_FOUND},
        {kKey + "-32", "Path", 0, "", "C:\\Zelmo32", 0},  // found in the 32-bit view
    };
    for (const auto& c : cases) {
        if (c.type != 0) key.Set(c.name, c.type, c.data);
        std::int32_t error = -1;
        EXPECT_EQ(ReadRegistryString(RegistryRoot::LocalMachine, c.key, c.name, error), c.text)
            << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
}

TEST(Registry, HostLookupGivesTheRollingStockFolder) {
    const std::string appKey = std::string(kHostRegistryKey);
    HKEY existing = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(appKey).c_str(), 0, KEY_READ, &existing) ==
        ERROR_SUCCESS) {
        RegCloseKey(existing);
        GTEST_SKIP() << "the host is registered here; its entry stays untouched";
    }
    EXPECT_EQ(RegistryHostLookup().RollingStockFolder(), "");
    for (const char16_t* path : {u"C:\\Zelmo", u"C:\\Zelmo\\"}) {
        const OwnKey key(appKey);
        key.Set("Path", REG_SZ, Utf16(path));
        EXPECT_EQ(RegistryHostLookup().RollingStockFolder(), "C:\\Zelmo\\Resourcen\\Rollmaterial");
    }
}

}  // namespace
}  // namespace quorvel
