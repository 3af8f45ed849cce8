#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cerrno>
#include <clocale>
#include <fstream>
#include <locale>
#include <random>
#include <system_error>

#include "Mod_Datei.h"
#include "Mod_Quorvel.h"
#include "property_file_fakes.h"

namespace quorvel {
namespace {

using testing::StrictMock;

class Files : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("quorvel-pf-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directory(dir);
        // Error numbers must not follow the process locale (the texts do, as the system's).
        if (std::setlocale(LC_ALL, "de_DE.UTF-8")) std::locale::global(std::locale("de_DE.UTF-8"));
    }
    void TearDown() override {
        std::locale::global(std::locale::classic());
        std::setlocale(LC_ALL, "C");
#ifdef _WIN32
        // Windows deletes no read-only file.
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            std::filesystem::permissions(entry, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
        }
#endif
        std::filesystem::remove_all(dir);
    }
    std::string Put(const std::string& name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    }
    static std::string Get(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::filesystem::path dir;
};

[[maybe_unused]] std::string Failed(const char* what, const std::string& path, const char* number,
                                    int code) {
    return what + path + "\r\nNummer: " + number +
           "\r\nFehler: " + std::generic_category().message(code);
}
constexpr const char* kOpen =
    "Fehler beim \xC3\x96"
    "ffnen von ";

TEST_F(Files, OpenDataFileTellsWhyItOpensNothing) {
    const std::string file = Put("Lok.txt", "x"), locked = Put("Zu.txt", "x");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    const std::string missing = (dir / "Fehlt.txt").string(), folder = dir.string();
    const std::string cut = file + '\0';
    std::vector<std::tuple<std::string, std::string, std::string, MessageIcon>> cases = {
        {missing, "r", "Datei " + missing + " nicht gefunden", MessageIcon::Exclamation},
        {missing, "rw", "Datei " + missing + " nicht gefunden", MessageIcon::Exclamation},
        {folder, "r", "Datei " + folder + " nicht gefunden", MessageIcon::Exclamation},
#ifndef _WIN32  // errno numbers and texts; windows_test.cpp has the Windows ones
        {file + "/x", "w", Failed(kOpen, file + "/x", "20", ENOTDIR), MessageIcon::Critical},
        {folder, "w", Failed(kOpen, folder, "21", EISDIR), MessageIcon::Critical},
        {cut, "w", Failed(kOpen, cut, "22", EINVAL), MessageIcon::Critical},
#endif
    };
#ifndef _WIN32
    if (geteuid() != 0) {  // root reads a file whatever its rights
        cases.emplace_back(locked, "r", Failed(kOpen, locked, "13", EACCES), MessageIcon::Critical);
    }
#endif
    for (const auto& [path, mode, text, icon] : cases) {
        StrictMock<FakeSink> sink;
        EXPECT_CALL(sink, ShowMessage("Quorvel", text, icon));
        EXPECT_FALSE(OpenDataFile(path, sink, mode)) << path;
    }
    StrictMock<FakeSink> silent;  // other mode texts open nothing and say nothing
    EXPECT_FALSE(OpenDataFile(file, silent, "R"));
    EXPECT_FALSE(OpenDataFile(file, silent, "r "));
    EXPECT_EQ(Get(file), "x");
}

TEST_F(Files, OpenForWritingCreatesButDoesNotCut) {
    StrictMock<FakeSink> silent;
    const std::string file = Put("Lok.txt", "abc"), created = (dir / "Neu.txt").string();
    for (const std::string& path : {file, created})
        std::fputc('X', OpenDataFile(path, silent, "w")->get());
    EXPECT_EQ(Get(file), "Xbc");
    EXPECT_EQ(Get(created), "X");
    EXPECT_EQ(OpenDataFile(file, silent, "rw")->ReadAll(), "Xbc");
}

TEST_F(Files, FileExistsOnlyForFiles) {
    const std::string readOnly = Put("Nur.txt", "");
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read);
    EXPECT_TRUE(FileExists(Put(".versteckt", "x")));
    EXPECT_TRUE(FileExists(readOnly));
    for (const std::string& path :
         {dir.string(), (dir / "fehlt" / "Lok.txt").string(), readOnly + "/x", std::string()}) {
        EXPECT_FALSE(FileExists(path)) << path;
    }
}

TEST_F(Files, ReadEntriesKeepsListAndVehicleOnFailure) {
    const std::string missing = (dir / "Fehlt.txt").string();
    const std::pair<std::string, std::string> cases[] = {
        {missing, "Datei " + missing + " nicht gefunden"},
#ifdef __linux__
        // Opens, but reading at offset 0 of the own address space fails.
        {"/proc/self/mem", Failed("Fehler beim Lesen von ", "/proc/self/mem", "5", EIO)},
#endif
    };
    for (const FakeFormat* format : {&kGerman, &kEnglish}) {
        for (const auto& [path, text] : cases) {
            StrictMock<FakeSink> sink;
            EXPECT_CALL(sink, ShowMessage("Quorvel", text, testing::_));
            Entries list = {{"A", "1", typ::Number}};
            Vehicle vehicle{true, 3};
            EXPECT_FALSE(ReadEntries(path, list, vehicle, *format, sink));
            EXPECT_EQ(list.size(), 1u);
            EXPECT_EQ(vehicle.GearCount, 3);
        }
    }
    StrictMock<FakeSink> silent;  // an empty file: no entries, GearCount 0, HasMotor kept
    Entries list;
    Vehicle vehicle{true, 3};
    EXPECT_TRUE(ReadEntries(Put("Leer.txt", ""), list, vehicle, kGerman, silent));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(vehicle.HasMotor);
    EXPECT_EQ(vehicle.GearCount, 0);
}

TEST_F(Files, WrittenFilesReadBackUnchanged) {
    const std::string files[] = {
        "Masse ( 80 ) \r\nMotor{\r\n\tLeistung ( 1000 ) \r\n\tGang{\r\n"
        "\t\tUebersetzung ( -4.5 ) \r\n\t}\r\n\tGang{\r\n\t\tUebersetzung ( 3,2 ) \r\n\t}\r\n"
        "\tGrenzdrehzahl_U3 ( 2000 ) \r\n}\r\nBremskraft ( 12 kN ) \r\n",
        "Masse ( 22,5 ) \r\nBremskraft ( 40 ) \r\nName ( Gueterwagen ) \r\n",
        "Zug{\r\n\tWagen{\r\n\t\tLaenge ( 14 ) \r\n\t\t{\r\n\t\t}\r\n\t}\r\n}\r\n}\r\n",
    };
    StrictMock<FakeSink> silent;
    for (const std::string& bytes : files) {
        Entries list;
        Vehicle vehicle;
        ASSERT_TRUE(ReadEntries(Put("Lok.txt", bytes), list, vehicle, kGerman, silent));
        const std::string copy = Put("Kopie.txt", "longer old content that must go away");
        EXPECT_TRUE(WriteEntries(copy, list));
        EXPECT_EQ(Get(copy), bytes);
    }
    const std::string file = Put("Lok.txt", "old");
    EXPECT_TRUE(WriteEntries(file, {}));
    EXPECT_EQ(Get(file), "");
    EXPECT_FALSE(WriteEntries(file + "/x", {{"A", "1", typ::Number}}));
}

}  // namespace
}  // namespace quorvel
