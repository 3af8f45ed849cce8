#ifdef __linux__
#include <sys/resource.h>
#include <sys/wait.h>
#endif
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cerrno>
#include <random>
#include <system_error>

#include "ErrorText.h"
#include "FileIdentity.h"
#include "GuardedRead.h"
#include "SizeLimits.h"
#include "test_support.h"

namespace quorvel {
namespace {

using Files = TempDir;

[[maybe_unused]] std::string Failed(const std::string& what, const std::string& path,
                                    const char* number, int code) {
    return what + path + "\r\nNummer: " + number +
           "\r\nFehler: " + ErrorText(code, std::generic_category().message(code));
}
const std::string kOpen = "Fehler beim \303\226ffnen von ";  // "Ö" in UTF-8

// Mode "read" goes through ReadEntries, which must leave the list and vehicle as they were.
TEST_F(Files, FailuresAreToldExactly) {
    const std::string file = Put("Lok.txt", "x"), locked = Put("Zu.txt", "x"), folder = Utf8(dir);
    fs::permissions(locked, fs::perms::none);
    const std::string missing = Utf8(dir / "Fehlt.txt"), cut = file + '\0',
                      gone = "Datei " + missing + " nicht gefunden";
#ifndef _WIN32
    const std::string fifo = Utf8(dir / "Pipe.txt"), closed = Put("Zu/Lok.txt", "x");
    ::mkfifo(fifo.c_str(), 0600);
    fs::permissions(dir / "Zu", fs::perms::owner_read);
    std::string longPath = Utf8(dir);
    while (longPath.size() < 4200) longPath += "/abcdefgh";
    const std::string longName = Utf8(dir / std::string(300, 'n'));
#endif
    [[maybe_unused]] constexpr MessageIcon E = MessageIcon::Exclamation, C = MessageIcon::Critical;
    std::vector<std::tuple<std::string, std::string, std::string, MessageIcon>> cases = {
        {missing, "r", gone, E},
        {missing, "rw", gone, E},
        {missing, "read", gone, E},
#ifndef _WIN32  // errno numbers and texts; windows_test.cpp has the Windows ones
        {folder, "r",
         kOpen + folder + "\r\nDer Pfad ist ein Ordner, keine gew\303\266hnliche Datei.", E},
        // Opened without waiting: a pipe at the path is refused, not waited on.
        {fifo, "read",
         kOpen + fifo +
             "\r\nDer Pfad ist eine benannte Pipe (FIFO), keine gew\303\266hnliche Datei.",
         E},
        {"/dev/null", "r",
         kOpen + "/dev/null\r\nDer Pfad ist ein Ger\303\244t, keine gew\303\266hnliche Datei.", E},
        {longPath, "r", kOpen + longPath + "\r\nNummer: 36\r\nFehler: Pfad zu lang", C},
        {longName, "r", kOpen + longName + "\r\nNummer: 36\r\nFehler: Dateiname zu lang", C},
        {file + "/x", "w", Failed(kOpen, file + "/x", "20", ENOTDIR), C},
        {folder, "w", Failed(kOpen, folder, "21", EISDIR), C},
        {cut, "w", Failed(kOpen, cut, "22", EINVAL), C},
#endif
#ifdef __linux__  // opens, but reading at offset 0 of the own address space fails
        {"/proc/self/mem", "read", Failed("Fehler beim Lesen von ", "/proc/self/mem", "5", EIO), C},
#endif
    };
#ifndef _WIN32
    if (::geteuid() != 0) cases.emplace_back(locked, "r", Failed(kOpen, locked, "13", EACCES), C);
    // A file in a folder the user may not enter: not "nicht gefunden".
    if (::geteuid() != 0) cases.emplace_back(closed, "r", Failed(kOpen, closed, "13", EACCES), C);
#endif
    for (const auto& [path, mode, text, icon] : cases) {
        testing::StrictMock<FakeSink> sink;
        EXPECT_CALL(sink, ShowMessage("Quorvel", text, icon));
        Entries list = {{"A", "1", typ::Number}};
        Vehicle vehicle{true, 3};
        EXPECT_FALSE(mode == "read" ? ReadEntries(path, list, vehicle, kGerman, sink)
                                    : OpenDataFile(path, sink, mode).has_value());
        EXPECT_TRUE(list.size() == 1 && vehicle.GearCount == 3) << path;
    }
#ifndef _WIN32
    fs::permissions(dir / "Zu", fs::perms::owner_all);
    EXPECT_FALSE(IdentifyFile(fifo).known);  // "Original" does not wait on a pipe either
#endif
    testing::StrictMock<FakeSink> silent;  // other mode texts open nothing and say nothing
    EXPECT_FALSE(OpenDataFile(file, silent, "R") || OpenDataFile(file, silent, "r "));
    // Writing cuts what was there: an empty list leaves an empty file.
    EXPECT_TRUE(WriteEntries(file, {}) && Get(file).empty());
    EXPECT_FALSE(WriteEntries(file + "/x", {}));
}

#ifdef __linux__
// Under an address-space limit of 256 MiB: a sparse 1.5 GB file is refused before reading,
// 16 MB of "}" (one entry a byte) once its shape is known; vehicle files of 50 MB and
// less are read.
TEST_F(Files, RefusesOnlyFilesThatDoNotFitInTheMemory) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit leaves";
#endif
    const std::string sparse = Put("Gross.txt", ""), small = Put("Lok.txt", kOld),
                      closings = Put("Klammern.txt", std::string(16 << 20, '}')),
                      large = Put("Zug.txt", "");
    std::size_t gears = 0;
    fs::resize_file(sparse, 3ULL << 29);
    {
        const std::string gear =
            "Gang{\r\n\tUebersetzung ( -4.5 ) \r\n\tSchaltdrehzahl ( 2500 ) \r\n}\r\n";
        std::string part;
        for (; part.size() < (1 << 20); gears += 50) part += gear;
        std::ofstream out(large, std::ios::binary);
        for (int i = 0; i < 50; ++i) out << part;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit both{256 << 20, 256 << 20};
        RecordingSink sink;
        int wrong = ::setrlimit(RLIMIT_AS, &both) != 0;
        for (const std::string& path : {sparse, closings, large, small}) {
            Entries list;
            Vehicle vehicle;
            sink.shown.clear();
            const bool read = ReadEntriesGuarded(path, list, vehicle, kGerman, sink);
            const std::string told =
                "Quorvel|48|Die Datei " + path + " ist zu gro\303\237 zum Lesen.\r\nSie br";
            const bool fits = path == small || path == large;
            wrong += fits ? !read || !sink.shown.empty()
                          : read || sink.shown.size() != 1 || !sink.shown[0].starts_with(told);
            wrong += path == large && list.size() != 4 * gears;
        }
        std::_Exit(wrong);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// The limits of the control groups, version 2 and version 1, from the process's own group
// up to the root; the least of what they leave counts.
TEST_F(Files, ReadsTheMemoryLimitsOfTheControlGroups) {
    const std::string v2 = "sys/fs/cgroup/", v1 = "sys/fs/cgroup/memory/";
    // clang-format off
    const struct { const char* groups; std::vector<std::pair<std::string, const char*>> files;
                   std::uint64_t left; } cases[] = {
        {"0::/a/b\n", {{v2 + "a/b/memory.max", "1000\n"}, {v2 + "a/b/memory.current", "400\n"},
                       {v2 + "a/memory.high", "700\n"}, {v2 + "a/memory.current", "600\n"}}, 100},
        {"0::/a\n", {{v2 + "a/memory.max", "max\n"}, {v2 + "a/memory.current", "5\n"}}, ~0ULL},
        {"12:cpu,memory:/c\n0::/\n", {{v1 + "c/memory.limit_in_bytes", "5000\n"},
                                      {v1 + "c/memory.usage_in_bytes", "1000\n"},
                                      {v1 + "memory.limit_in_bytes", "9223372036854771712\n"}},
         4000},
        // In a container the group named may not exist below the mount: its root counts.
        {"4:memory:/docker/x\n", {{v1 + "memory.limit_in_bytes", "300\n"},
                                  {v1 + "memory.usage_in_bytes", "400\n"}}, 0},
        {"", {}, ~0ULL}};
    // clang-format on
    for (const auto& c : cases) {
        fs::remove_all(dir / "root");
        Put("root/proc/self/cgroup", c.groups);
        for (const auto& [name, text] : c.files) Put("root/" + name, text);
        EXPECT_EQ(ControlGroupLeft(Utf8(dir / "root")), c.left) << c.groups;
    }
}
#endif

// The content hash is CRC-64/XZ, whole or continued piece by piece, also where long
// texts are hashed in parts side by side: checked against one bit at a time.
TEST(ContentHash, IsTheCrcWholeAndInPieces) {
    EXPECT_EQ(ContentHash("123456789"), 0x995DC9BBDF1939FAULL);
    const auto bitwise = [](std::string_view bytes) {
        std::uint64_t crc = ~std::uint64_t{0};
        for (const char c : bytes) {
            crc ^= static_cast<unsigned char>(c);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ ((crc & 1) != 0 ? 0xC96C5795D7870F42ULL : 0);
        }
        return ~crc;
    };
    std::minstd_rand random(3);
    for (const std::size_t size : {0, 1, 7, 2047, 2048, 2049, 6151, 10000, 70001}) {
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        const std::size_t cut = size == 0 ? 0 : random() % size;
        const std::string_view view(bytes);
        EXPECT_EQ(ContentHash(view), bitwise(view)) << size;
        EXPECT_EQ(ContentHash(view.substr(cut), ContentHash(view.substr(0, cut))), bitwise(view))
            << size << " cut at " << cut;
    }
}

// GetFolder(path); JoinWithSeparator(first, second, separator); BuildPath(folder, name, extension)
TEST(Paths, FoldersAndJoins) {
    // clang-format off
    const std::pair<std::string, std::string> folders[] = {
        {"C:\\Daten\\Lok.txt", "C:\\Daten"}, {"C:\\Lok.txt", "C:"}, {"C:Lok.txt", "C"},
        {"Lok.txt", ""}, {"C:\\Daten\\", "C:\\Daten"},
#ifndef _WIN32
        {"/home/zug/Lok.txt", "/home/zug"},  // POSIX paths also cut at the slash
#endif
    };
    const std::string join[][4] = {
        {"", "b", "\\", "\\b"}, {"a", "", "\\", "a\\"}, {"", "", "\\", "\\"}, {"a", "b", "", "ab"},
        {"a\\", "\\b", "\\", "a\\b"}, {"a\\", "\\\\b", "\\", "a\\\\b"}, {"a\\", "b", "\\", "a\\b"},
        {"a", "\\b", "\\", "a\\b"}, {"a", "b", "\\", "a\\b"}, {"a--", "--b", "--", "a------b"},
        {"a\303\244", "b", "\303\244", "a\303\244b"}};
    const std::string build[][4] = {
        {"C:\\Sim", "Fahrzeuge\\Lok", "", "C:\\Sim\\Fahrzeuge\\Lok"},
        {"C:\\Sim\\", "Fahrzeuge\\Lok", "", "C:\\Sim\\Fahrzeuge\\Lok"},
        {"C:\\Sim\\", "\\Lok", "", "C:\\Sim\\Lok"}, {"", "Lok", "", "\\Lok"},
        {"C:\\D", "Lok", "txt", "C:\\D\\Lok.txt"}, {"C:\\D", "Lok", ".txt", "C:\\D\\Lok.txt"},
        {"C:\\D", "Lok", "t", "C:\\D\\Lok"},
        {"C:\\D", "Lok", "\303\244", "C:\\D\\Lok"}};  // one character (ä), two bytes
    // clang-format on
    for (const auto& [path, folder] : folders) EXPECT_EQ(GetFolder(path), folder) << path;
    for (const auto& c : join) EXPECT_EQ(JoinWithSeparator(c[0], c[1], c[2]), c[3]) << c[0];
    for (const auto& c : build) EXPECT_EQ(BuildPath(c[0], c[1], c[2]), c[3]) << c[2];
}

}  // namespace
}  // namespace quorvel
