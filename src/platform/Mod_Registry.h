#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "Services.h"

// Reading the registry, and the host lookup built on it. Standard library and Win32
// only, so that a Windows build without Qt can use it.
namespace quorvel {

// The registry roots the program reads from.
enum class RegistryRoot { LocalMachine, CurrentUser };

// Error codes as the Windows registry calls report them.
namespace registry_error {
inline constexpr std::int32_t kNotFound = 2;      // ERROR_FILE_NOT_FOUND
inline constexpr std::int32_t kAccessDenied = 5;  // ERROR_ACCESS_DENIED
inline constexpr std::int32_t kMoreData = 234;    // ERROR_MORE_DATA
}  // namespace registry_error

// The host's registration and the folder of its rolling-stock files below it.
inline constexpr std::string_view kHostRegistryKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zelmo.exe";
inline constexpr std::string_view kHostRegistryValue = "Path";
inline constexpr std::string_view kRollingStockSubfolder = "Resourcen\\Rollmaterial";

// Reads one registry value as UTF-8 text. An empty valueName reads the key's default
// value. errorCode is 0 on success; otherwise it is the Windows error code of the call
// that failed (kNotFound for a missing key or value, kMoreData for more than 2048
// bytes of data) and the result is empty.
//   REG_SZ: its text, up to its first NUL character.
//   REG_DWORD: its value as unsigned decimal text ("258" for the bytes 02 01 00 00,
//     "4294967295" for FF FF FF FF).
//   any other type, and empty data: empty text with errorCode 0.
// A key missing from the default registry view is also looked up in the 32-bit view.
// On Windows this reads the system registry; elsewhere Windows programs run under
// Wine, and this reads the registry of the Wine prefix the process environment names.
std::string ReadRegistryString(RegistryRoot root, std::string_view subKey,
                               std::string_view valueName, std::int32_t& errorCode);

// Where Wine keeps its prefix, taken from the environment: $WINEPREFIX, else ~/.wine.
struct WineEnvironment {
    std::string winePrefix;  // WINEPREFIX; empty when unset
    std::string home;        // HOME; empty when unset

    static WineEnvironment FromProcess();
    // The prefix folder, or empty text when neither variable is set.
    std::string PrefixFolder() const;
};

// ReadRegistryString from the registry files of the Wine prefix in prefixFolder
// (system.reg for LocalMachine, user.reg for CurrentUser), with the same results and
// error codes as the Windows calls give there.
std::string ReadWineRegistryString(const std::string& prefixFolder, RegistryRoot root,
                                   std::string_view subKey, std::string_view valueName,
                                   std::int32_t& errorCode);

// A Windows path of a program running in the Wine prefix as the Linux path it stands
// for, through the prefix's drive links (dosdevices/c: and so on). Folders are matched
// regardless of ASCII case where they exist, as Wine does; the folder itself need not
// exist. Empty text when the path has no drive letter or the drive is not mapped.
std::string WinePathToLinux(const std::string& prefixFolder, std::string_view windowsPath);

// The host's rolling-stock folder as this machine opens it, or empty text when the
// host is not registered. On Windows the environment is not used.
std::string HostRollingStockFolder(const WineEnvironment& wine);

class RegistryHostLookup : public HostLookup {
  public:
    // Finds the Wine prefix through the process environment.
    RegistryHostLookup() : RegistryHostLookup(WineEnvironment::FromProcess()) {}
    explicit RegistryHostLookup(WineEnvironment wine) : wine_(std::move(wine)) {}

    std::string RollingStockFolder() override { return HostRollingStockFolder(wine_); }

  private:
    WineEnvironment wine_;
};

}  // namespace quorvel
