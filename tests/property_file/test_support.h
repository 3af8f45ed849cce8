#pragma once

#include <gmock/gmock.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <charconv>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "Mod_Datei.h"
#include "Mod_Quorvel.h"
#include "SafeSave.h"

namespace quorvel {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

const std::string kOld = "Masse (80)\nMotor{ Leistung (1000) }\n";  // not in the written layout

inline Entries Sample(const std::string& mass) {
    return {{"Masse", mass, typ::Number}, {"Motor", "", typ::GroupOpen}, {"", "", typ::GroupClose}};
}

inline std::string Decimal(long long number) {
    char digits[24];
    return {digits, std::to_chars(digits, digits + sizeof digits, number).ptr};
}

inline std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

inline std::string Get(const std::string& path) {
    std::ifstream in(PathFromText(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct FakeFormat : NumberFormat {
    FakeFormat(std::string decimal, std::string group) : decimal(decimal), group(group) {}
    std::string DecimalSeparator() const override { return decimal; }
    std::string GroupSeparator() const override { return group; }
    std::string decimal, group;
};
inline const FakeFormat kGerman{",", "."}, kEnglish{".", ","};

struct FakeSink : MessageSink {
    MOCK_METHOD(void, ShowMessage, (const std::string&, const std::string&, MessageIcon),
                (override));
    MOCK_METHOD(bool, AskYesNo, (const std::string&, const std::string&), (override));
};

// Keeps every message as "caption|icon|text".
struct RecordingSink : MessageSink {
    void ShowMessage(const std::string& c, const std::string& t, MessageIcon i) override {
        shown.push_back(c + "|" + std::to_string(static_cast<int>(i)) + "|" + t);
    }
    bool AskYesNo(const std::string& c, const std::string& t) override {
        shown.push_back(c + "|?|" + t);
        return answer;
    }
    std::vector<std::string> shown;
    bool answer = false;
};

// A fresh folder per test. Rights a test took away are given back first: Windows deletes no
// read-only file.
class TempDir : public testing::Test {
  protected:
    void SetUp() override {
        do dir = fs::temp_directory_path() / ("quorvel-test-" + Decimal(std::random_device{}()));
        while (!fs::create_directory(dir));
    }
    void TearDown() override {
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            if (!entry.is_symlink())
                fs::permissions(entry, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }
    // Writes the file below dir, making its folder when missing; gives its UTF-8 path.
    std::string Put(const fs::path& name, const std::string& bytes) const {
        fs::create_directories((dir / name).parent_path());
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return Utf8(dir / name);
    }
    static Names Listing(const fs::path& folder) {
        Names names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    }
    fs::path dir;
};

}  // namespace quorvel
