#pragma once

#include <gmock/gmock.h>

#include <string>

#include "Platform.h"

namespace quorvel {

struct FakeFormat : NumberFormat {
    FakeFormat(std::string decimal, std::string group) : decimal(decimal), group(group) {}
    std::string DecimalSeparator() const override { return decimal; }
    std::string GroupSeparator() const override { return group; }
    std::string decimal, group;
};
inline const FakeFormat kGerman{",", "."};
inline const FakeFormat kEnglish{".", ","};

struct FakeSink : MessageSink {
    MOCK_METHOD(void, ShowMessage, (const std::string&, const std::string&, MessageIcon),
                (override));
};

}  // namespace quorvel
