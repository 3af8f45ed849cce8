#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <string>
#include <vector>

#include "EditorState.h"
#include "Platform.h"

namespace quorvel::test {

// Runs a test under the process locale given as parameter, then returns to "C", where
// every program starts: the editor's texts must not follow the process locale.
class LocaleTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (!std::setlocale(LC_ALL, GetParam())) GTEST_SKIP() << GetParam() << " not installed";
#ifndef _WIN32  // mingw-w64's C++ library knows no locale but "C"
        std::locale::global(std::locale(GetParam()));
#endif
    }
    void TearDown() override {
        std::locale::global(std::locale::classic());
        std::setlocale(LC_ALL, "C");
    }
};
#ifdef _WIN32
#define QUORVEL_GERMAN_LOCALE "German_Germany.1252"
#else
#define QUORVEL_GERMAN_LOCALE "de_DE.UTF-8"
#endif
#define QUORVEL_IN_BOTH_LOCALES(suite) \
    INSTANTIATE_TEST_SUITE_P(Locales, suite, ::testing::Values("C", QUORVEL_GERMAN_LOCALE))

struct Format : NumberFormat {
    Format(const char* d, const char* g) : decimal(d), group(g) {}
    std::string DecimalSeparator() const override { return decimal; }
    std::string GroupSeparator() const override { return group; }
    std::string decimal, group;
};
inline const Format kEnglish{".", ","}, kGerman{",", "."};

// Keeps every message as "caption|icon|text".
struct Sink : MessageSink {
    void ShowMessage(const std::string& caption, const std::string& text,
                     MessageIcon icon) override {
        shown.push_back(caption + "|" + std::to_string(static_cast<int>(icon)) + "|" + text);
    }
    std::vector<std::string> shown;
};

// Radius 50 and limit revolutions 2000 give the drive constant 380.
inline EditorState Vehicle380(std::int32_t gearCount = 6) {
    EditorState state;
    state.tx_Treib = "50";
    state.tx_U3 = "2000";
    state.vehicle = {true, gearCount};
    return state;
}

inline std::string Ratios(const EditorState& s) {
    std::string text = s.tx_ueber[0];
    for (int i = 1; i < kRatioFields; ++i) text += " " + s.tx_ueber[i];
    return text;
}

// Every text of the state, to prove what changed and what did not.
inline std::string Texts(const EditorState& s) {
    return s.tx_Datei + "|" + s.tx_Masse + "|" + s.tx_BremsK + "|" + s.tx_ReibK + "|" +
           s.tx_Leistung + "|" + s.tx_U1 + " " + s.tx_U2 + " " + s.tx_U3 + "|" + s.tx_Treib + "|" +
           s.tx_VMaxR + " " + s.tx_VmaxV + "|" + Ratios(s);
}

}  // namespace quorvel::test
