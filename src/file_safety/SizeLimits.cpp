#include "SizeLimits.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <limits>

#include "C_Name_Val.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace quorvel {

namespace {

constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();

std::string Decimal(std::uint64_t number) {
    char digits[24];
    return {digits, std::to_chars(digits, digits + sizeof digits, number).ptr};
}

// Whole MB, rounded up, so a need is never shown smaller than it is.
std::string Megabytes(std::uint64_t bytes) {
    return Decimal(bytes / (1 << 20) + (bytes % (1 << 20) != 0));
}

#ifndef _WIN32
// A number from a text file such as /proc/meminfo, after key; kNone when absent.
std::uint64_t ReadNumber(const std::string& path, const std::string& key = "") {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with(key)) continue;
        std::uint64_t value = 0;
        const char* at = line.data() + key.size();
        while (at < line.data() + line.size() && *at == ' ') ++at;
        if (std::from_chars(at, line.data() + line.size(), value).ec == std::errc{}) return value;
        return kNone;  // "max"
    }
    return kNone;
}

// What the control groups above this process leave (version 2 only).
std::uint64_t GroupLeft() {
    std::ifstream in("/proc/self/cgroup");
    std::string line, group;
    while (std::getline(in, line))
        if (line.starts_with("0::")) group = line.substr(3);
    std::uint64_t left = kNone;
    for (std::string at = group; !group.empty();) {
        const std::string folder = "/sys/fs/cgroup" + at;
        const std::uint64_t max = ReadNumber(folder + "/memory.max");
        const std::uint64_t used = ReadNumber(folder + "/memory.current");
        if (max != kNone && used != kNone) left = std::min(left, max > used ? max - used : 0);
        if (at.empty() || at == "/") break;
        at = at.substr(0, at.find_last_of('/'));
    }
    return left;
}
#endif

}  // namespace

std::uint64_t AvailableMemory() {
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return kNone;
    return std::min<std::uint64_t>(status.ullAvailPageFile, status.ullAvailVirtual);
#else
    std::uint64_t left = kNone;
    const std::uint64_t free = ReadNumber("/proc/meminfo", "MemAvailable:");
    const std::uint64_t swap = ReadNumber("/proc/meminfo", "SwapFree:");
    if (free != kNone) left = (free + (swap == kNone ? 0 : swap)) * 1024;
    left = std::min(left, GroupLeft());
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        std::ifstream statm("/proc/self/statm");
        std::uint64_t pages = 0;
        statm >> pages;
        const std::uint64_t used = pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
        left = std::min<std::uint64_t>(left, limit.rlim_cur > used ? limit.rlim_cur - used : 0);
    }
    return left;
#endif
}

std::uint64_t ReadMemoryNeeded(std::uint64_t fileSize) {
    constexpr std::uint64_t perByte = 1 + Entries::kEntrySize + 1;
    return fileSize > kNone / perByte ? kNone : fileSize * perByte;
}

bool FitsInMemory(std::uint64_t size, const std::string& path, MessageSink& sink) {
    const std::uint64_t need = ReadMemoryNeeded(size);
    // Any machine the window runs on has this much; asking the system costs more than
    // reading a vehicle file.
    constexpr std::uint64_t kSurelyAvailable = 64 << 20;
    if (need <= kSurelyAvailable) return true;
    const std::uint64_t available = AvailableMemory();
    if (need <= available) return true;
    sink.ShowMessage(kAppTitle,
                     "Die Datei " + path +
                         " ist zu gro\xC3\x9F zum Lesen.\r\nSie br\xC3\xA4uchte bis zu " +
                         Megabytes(need) +
                         " MB Arbeitsspeicher, verf\xC3\xBC"
                         "gbar sind " +
                         Megabytes(available) + " MB.",
                     MessageIcon::Exclamation);
    return false;
}

std::string SaveTooLargeText(const std::string& path, std::uint64_t output,
                             std::uint64_t loadedSize, std::uint64_t indentation) {
    std::string text = "Die Datei " + path + " wurde nicht gespeichert: Sie w\xC3\xBCrde " +
                       Megabytes(output) + " MB gro\xC3\x9F, mehr als das " + Decimal(kSaveGrowth) +
                       "fache der geladenen (" + Decimal(loadedSize) + " Bytes).\r\n";
    // Each level of nesting indents every line inside it by one tab more.
    if (indentation > output / 2)
        return text +
               "Ursache: Die Gruppen sind zu tief ineinander verschachtelt; jede Ebene "
               "r\xC3\xBC"
               "ckt ihre Zeilen um einen Tabulator weiter ein.";
    return text + "Ursache: Die Eintr\xC3\xA4ge sind zu viele oder zu lang.";
}

}  // namespace quorvel
