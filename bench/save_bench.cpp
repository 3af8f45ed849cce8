// The save command on a file of one name repeated: 1 MiB of "Masse ( 1 )" lines (some
// 75,000 entries that all take the Masse field's text). With 16 KiB typed into the field
// the output would be 1.2 GB and the save is refused; with a short text it is saved
// (written, flushed and renamed). Both must stay linear in file size plus field texts.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "Commands.h"

namespace quorvel {
namespace {

struct German : NumberFormat {
    std::string DecimalSeparator() const override { return ","; }
    std::string GroupSeparator() const override { return "."; }
};
struct CountingSink : MessageSink {
    int messages = 0;
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override { ++messages; }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
};
struct NoDialog : FileDialog {
    std::string ShowOpenDialog(const std::string&, std::uint32_t,
                               const std::optional<std::string>&) override {
        return {};
    }
};
struct NoHost : HostLookup {
    std::string RollingStockFolder() override { return {}; }
};

void SaveMasses(benchmark::State& state, std::size_t typed) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("quorvel-save-bench-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directory(dir);
    const std::string path = (dir / "Lok.txt").string();
    {
        std::ofstream out(path, std::ios::binary);
        for (std::size_t size = 0; size < (1u << 20); size += 14) out << "Masse ( 1 ) \r\n";
    }
    German format;
    CountingSink sink;
    NoDialog dialog;
    NoHost host;
    Services services{format, sink, dialog, host};
    EditorState editor;
    LoadFile(editor, services, path);
    for (auto _ : state) {
        state.PauseTiming();
        editor.tx_Masse = std::string(typed, '7');
        state.ResumeTiming();
        SaveCommand(editor, services);
        state.PauseTiming();
        editor.tx_Masse = "1";  // the next round changes every entry again
        SaveCommand(editor, services);
        state.ResumeTiming();
    }
    state.counters["messages"] = sink.messages;
    state.counters["entries"] = static_cast<double>(editor.Entries.size());
    std::filesystem::remove_all(dir);
}

BENCHMARK_CAPTURE(SaveMasses, refused_16KiB_typed, 16 << 10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SaveMasses, saved_4_digits_typed, 4)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel

BENCHMARK_MAIN();
