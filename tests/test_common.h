#pragma once

// What the tests of every folder share: a temporary folder, a file's bytes, a fixed number
// format and a message sink that records.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Platform.h"

namespace quorvel {

// A fresh temporary folder, removed with everything in it. Rights a test took away are given
// back first: Windows deletes no read-only file.
struct TempFolder {
    std::filesystem::path path;
    explicit TempFolder(const std::string& prefix = "quorvel-test-") {
        namespace fs = std::filesystem;
        do path = fs::temp_directory_path() / (prefix + std::to_string(std::random_device{}()));
        while (!fs::create_directory(path));
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        namespace fs = std::filesystem;
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(path, error))
            if (!entry.is_symlink())
                fs::permissions(entry, fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(path, error);
    }
};

// Each pair's first text, where it first stands, replaced by its second.
using Replacements = std::vector<std::pair<std::string_view, std::string_view>>;
inline std::string Replaced(std::string text, const Replacements& pairs) {
    for (const auto& [from, to] : pairs) {
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
    }
    return text;
}

inline std::string Bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct FakeFormat : NumberFormat {
    FakeFormat(std::string decimal, std::string group) : decimal(decimal), group(group) {}
    std::string DecimalSeparator() const override { return decimal; }
    std::string GroupSeparator() const override { return group; }
    std::string decimal, group;
};
inline const FakeFormat kGerman{",", "."}, kEnglish{".", ","};

// Keeps every message as "caption|icon|text", every question as "caption|?|text".
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

}  // namespace quorvel
