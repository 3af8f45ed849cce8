#include "SizeLimits.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <initializer_list>
#include <limits>

#include "C_Name_Val.h"
#include "Texts.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace quorvel {

namespace {

constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();

// Whole MB, rounded up, so a need is never shown smaller than it is.
std::uint64_t Megabytes(std::uint64_t bytes) {
    return bytes / (1 << 20) + (bytes % (1 << 20) != 0);
}

#ifndef _WIN32
// A number from a text file such as /proc/meminfo, after key; kNone when absent or
// "max".
std::uint64_t ReadNumber(const std::string& path, const std::string& key = "") {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with(key)) continue;
        std::uint64_t value = 0;
        const char* at = line.data() + key.size();
        while (at < line.data() + line.size() && *at == ' ') ++at;
        if (std::from_chars(at, line.data() + line.size(), value).ec == std::errc{}) return value;
        return kNone;
    }
    return kNone;
}

// The least that the groups from folder + group up to folder leave, by the files named
// limits (the least of them is the group's limit) and used.
std::uint64_t LeftInGroups(const std::string& folder, std::string group,
                           std::initializer_list<const char*> limits, const char* used) {
    std::uint64_t left = kNone;
    for (;;) {
        const std::string at = folder + (group == "/" ? "" : group);
        std::uint64_t limit = kNone;
        for (const char* name : limits) limit = std::min(limit, ReadNumber(at + "/" + name));
        const std::uint64_t current = ReadNumber(at + "/" + used);
        if (limit != kNone) {
            const std::uint64_t taken = current == kNone ? 0 : current;
            left = std::min(left, limit > taken ? limit - taken : 0);
        }
        if (group.empty() || group == "/") return left;
        group.erase(group.find_last_of('/'));
    }
}

#endif

}  // namespace

std::uint64_t ControlGroupLeft([[maybe_unused]] const std::string& root) {
#ifdef _WIN32
    return kNone;  // Windows sets no such limits on a desktop program
#else
    // Lines "0::<group>" (version 2) and "<n>:<controllers>:<group>" (version 1), where
    // the memory controller's is the one that counts.
    std::ifstream in(root + "/proc/self/cgroup");
    std::uint64_t left = kNone;
    for (std::string line; std::getline(in, line);) {
        const std::size_t first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        // Built by appending: "," + a temporary makes GCC 12's optimiser warn falsely.
        std::string controllers(",");
        controllers.append(line, first + 1, second - first - 1).append(",");
        const std::string group = line.substr(second + 1);
        if (line.starts_with("0::")) {
            left = std::min(left, LeftInGroups(root + "/sys/fs/cgroup", group,
                                               {"memory.max", "memory.high"}, "memory.current"));
        } else if (controllers.find(",memory,") != std::string::npos) {
            left = std::min(left, LeftInGroups(root + "/sys/fs/cgroup/memory", group,
                                               {"memory.limit_in_bytes"}, "memory.usage_in_bytes"));
        }
    }
    return left;
#endif
}

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
    left = std::min(left, ControlGroupLeft(""));
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

bool FitsInMemory(std::uint64_t need, std::uint64_t taken, const std::string& path,
                  MessageSink& sink, std::uint64_t upTo) {
    if (need <= kSurelyAvailable) return true;
    const std::uint64_t left = AvailableMemory();
    const std::uint64_t available = left > kNone - taken ? kNone : left + taken;
    if (need <= available) return true;
    sink.ShowMessage(
        kAppTitle,
        texts::TooLargeToRead(path, Megabytes(std::max(need, upTo)), Megabytes(available)),
        MessageIcon::Exclamation);
    return false;
}

std::string SaveTooLargeText(const std::string& path, std::uint64_t output,
                             std::uint64_t loadedSize, std::uint64_t indentation) {
    // Each level of nesting indents every line inside it by one tab more.
    return texts::SaveTooLarge(path, Megabytes(output), kSaveGrowth, loadedSize,
                               indentation > output / 2);
}

}  // namespace quorvel
