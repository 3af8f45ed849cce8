#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <fstream>
#include <locale>
#include <random>
#include <system_error>
#include <vector>

#include "Mod_Datei.h"
#include "Mod_Quorvel.h"

namespace quorvel {
namespace {

struct Format : NumberFormat {
    Format(std::string decimal, std::string group) : decimal(decimal), group(group) {}
    std::string DecimalSeparator() const override { return decimal; }
    std::string GroupSeparator() const override { return group; }
    std::string decimal, group;
};

struct Sink : MessageSink {
    MOCK_METHOD(void, ShowMessage, (const std::string&, const std::string&, MessageIcon),
                (override));
};

class Files : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("quorvel-pf-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directory(dir);
        // Error texts and numbers must not follow the process locale.
        try {
            std::locale::global(std::locale("de_DE.UTF-8"));
            std::setlocale(LC_ALL, "de_DE.UTF-8");
        } catch (const std::runtime_error&) {
        }
    }
    void TearDown() override {
        std::locale::global(std::locale::classic());
        std::setlocale(LC_ALL, "C");
        std::filesystem::remove_all(dir);
    }
    std::string Put(const std::string& name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    }
    std::string Get(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::filesystem::path dir;
};

std::string OpenFailed(const std::string& path, const std::string& number, int code) {
    return "Fehler beim \xC3\x96"
           "ffnen von " +
           path + "\r\nNummer: " + number + "\r\nFehler: " + std::generic_category().message(code);
}

TEST_F(Files, OpenDataFileTellsWhyItOpensNothing) {
    const std::string file = Put("Lok.txt", "x");
    const std::string locked = Put("Gesperrt.txt", "x");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    const std::string missing = (dir / "Fehlt.txt").string();
    const std::string folder = dir.string();
    const std::string cut = file + std::string(1, '\0');
    struct Case {
        std::string path, mode, text;
        MessageIcon icon;
    };
    std::vector<Case> cases = {
        {missing, "r", "Datei " + missing + " nicht gefunden", MessageIcon::Exclamation},
        {missing, "rw", "Datei " + missing + " nicht gefunden", MessageIcon::Exclamation},
        {folder, "r", "Datei " + folder + " nicht gefunden", MessageIcon::Exclamation},
        {file + "/x", "w", OpenFailed(file + "/x", "20", ENOTDIR), MessageIcon::Critical},
        {folder, "w", OpenFailed(folder, "21", EISDIR), MessageIcon::Critical},
        {cut, "w", OpenFailed(cut, "22", EINVAL), MessageIcon::Critical},
    };
    if (geteuid() != 0) {  // the owner's missing rights do not stop root
        cases.push_back({locked, "r", OpenFailed(locked, "13", EACCES), MessageIcon::Critical});
    }
    for (const Case& c : cases) {
        Sink sink;
        EXPECT_CALL(sink, ShowMessage("Quorvel", c.text, c.icon));
        EXPECT_FALSE(OpenDataFile(c.path, sink, c.mode)) << c.path;
    }
    Sink silent;  // other mode texts open nothing and say nothing
    EXPECT_FALSE(OpenDataFile(file, silent, "R"));
    EXPECT_FALSE(OpenDataFile(file, silent, "r "));
    EXPECT_EQ(Get(file), "x");
}

TEST_F(Files, OpenForWritingCreatesButDoesNotCut) {
    Sink silent;
    const std::string file = Put("Lok.txt", "abc");
    const std::string created = (dir / "Neu.txt").string();
    for (const std::string& path : {file, created}) {
        auto opened = OpenDataFile(path, silent, "w");
        ASSERT_TRUE(opened);
        std::fputc('X', opened->get());
    }
    EXPECT_EQ(Get(file), "Xbc");
    EXPECT_EQ(Get(created), "X");
    auto both = OpenDataFile(file, silent, "rw");
    ASSERT_TRUE(both);
    EXPECT_EQ(both->ReadAll(), "Xbc");
}

TEST_F(Files, FileExistsOnlyForFiles) {
    const std::string readOnly = Put("Nur.txt", "");
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read);
    EXPECT_TRUE(FileExists(Put(".versteckt", "x")));
    EXPECT_TRUE(FileExists(readOnly));
    EXPECT_FALSE(FileExists(dir.string()));
    EXPECT_FALSE(FileExists((dir / "fehlt" / "Lok.txt").string()));
    EXPECT_FALSE(FileExists(readOnly + "/x"));
    EXPECT_FALSE(FileExists(""));
}

TEST_F(Files, FailedReadKeepsListAndVehicle) {
    const std::string missing = (dir / "Fehlt.txt").string();
    const std::pair<std::string, std::string> cases[] = {
        {missing, "Datei " + missing + " nicht gefunden"},
#ifdef __linux__
        // Opens, but reading at offset 0 of the own address space fails.
        {"/proc/self/mem", "Fehler beim Lesen von /proc/self/mem\r\nNummer: 5\r\nFehler: " +
                               std::generic_category().message(EIO)},
#endif
    };
    for (const Format& format : {Format{",", "."}, Format{".", ","}}) {
        for (const auto& [path, text] : cases) {
            Sink sink;
            EXPECT_CALL(sink, ShowMessage("Quorvel", text, testing::_));
            Entries list = {{"A", "1", typ::Number}};
            Vehicle vehicle{true, 3};
            EXPECT_FALSE(ReadEntries(path, list, vehicle, format, sink));
            EXPECT_EQ(list.size(), 1u);
            EXPECT_EQ(vehicle.GearCount, 3);
        }
    }
}

TEST_F(Files, EmptyFileKeepsHasMotor) {
    Sink silent;
    Entries list;
    Vehicle vehicle{true, 3};
    EXPECT_TRUE(ReadEntries(Put("Leer.txt", ""), list, vehicle, Format{",", "."}, silent));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(vehicle.HasMotor);
    EXPECT_EQ(vehicle.GearCount, 0);
}

TEST_F(Files, WrittenFilesReadBackUnchanged) {
    const std::string files[] = {
        "Masse ( 80 ) \r\nMotor{\r\n\tLeistung ( 1000 ) \r\n\tGang{\r\n"
        "\t\tUebersetzung ( -4.5 ) \r\n\t}\r\n\tGang{\r\n\t\tUebersetzung ( 3,2 ) \r\n\t}\r\n"
        "\tGrenzdrehzahl_U3 ( 2000 ) \r\n}\r\nBremskraft ( 12 kN ) \r\n",
        "Masse ( 22,5 ) \r\nBremskraft ( 40 ) \r\nReibkraft ( 8 ) \r\nName ( Gueterwagen ) \r\n",
        "Zug{\r\n\tWagen{\r\n\t\tLaenge ( 14 ) \r\n\t\t{\r\n\t\t}\r\n\t}\r\n}\r\n}\r\n",
    };
    Sink silent;
    for (const std::string& bytes : files) {
        Entries list;
        Vehicle vehicle;
        ASSERT_TRUE(ReadEntries(Put("Lok.txt", bytes), list, vehicle, Format{",", "."}, silent));
        const std::string copy = Put("Kopie.txt", "longer old content that must go away");
        EXPECT_TRUE(WriteEntries(copy, list));
        EXPECT_EQ(Get(copy), bytes);
    }
}

TEST_F(Files, WriteEntriesReportsFailure) {
    const std::string file = Put("Lok.txt", "old");
    EXPECT_TRUE(WriteEntries(file, {}));
    EXPECT_EQ(std::filesystem::file_size(file), 0u);
    EXPECT_FALSE(WriteEntries(file + "/x", {{"A", "1", typ::Number}}));
    EXPECT_FALSE(WriteEntries((dir / "fehlt" / "Lok.txt").string(), {}));
}

}  // namespace
}  // namespace quorvel
