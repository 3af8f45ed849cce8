#pragma once

#include <gmock/gmock.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <set>

#include "Mod_Datei.h"
#include "Mod_Quorvel.h"
#include "SafeSave.h"
#include "test_common.h"

namespace quorvel {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

const std::string kOld = "Masse (80)\nMotor{ Leistung (1000) }\n";  // not in the written layout

inline Entries Sample(const std::string& mass) {
    return {{"Masse", mass, typ::Number}, {"Motor", "", typ::GroupOpen}, {"", "", typ::GroupClose}};
}

inline std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

inline std::string Get(const std::string& path) {
    return Bytes(PathFromText(path));
}

struct FakeSink : MessageSink {
    MOCK_METHOD(void, ShowMessage, (const std::string&, const std::string&, MessageIcon),
                (override));
    MOCK_METHOD(bool, AskYesNo, (const std::string&, const std::string&), (override));
};

// A fresh folder per test.
class TempDir : public testing::Test {
  protected:
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
    TempFolder folder;
    const fs::path& dir = folder.path;
};

}  // namespace quorvel
