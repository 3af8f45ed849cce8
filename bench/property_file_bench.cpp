// Reading and writing property files of 100 KB to 10 MB against a plain copy of the
// same bytes, the floor any reader and writer stands on. Nothing is flushed to disk.
//
// A 10 MB read builds about 48 MB (the bytes and some 530,000 entries). glibc hands
// blocks that large back to the kernel after every run, so each run pays the first
// touch of fresh pages again; on Linux the reader asks for huge pages there, which
// keeps that cost small. To see the code's cost per byte without it, run with
//   GLIBC_TUNABLES=glibc.malloc.mmap_threshold=268435456:glibc.malloc.trim_threshold=1073741824
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "Mod_Datei.h"
#include "Mod_Quorvel.h"
#include "SafeSave.h"

namespace quorvel {
namespace {

struct GermanFormat : NumberFormat {
    std::string DecimalSeparator() const override { return ","; }
    std::string GroupSeparator() const override { return "."; }
};

struct SilentSink : MessageSink {
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
};

std::string Digits(std::uint64_t number) {
    char text[24];
    return {text, std::to_chars(text, text + sizeof text, number).ptr};
}

// A row of vehicles as the host writes them: plain values, a "Motor" group with
// several "Gang" groups inside, some text values; until size bytes are reached.
std::string MakePropertyFile(std::size_t size) {
    std::minstd_rand random(42);
    auto number = [&](int range) {
        const std::uint64_t whole = random() % static_cast<unsigned>(range);
        return Digits(whole) + "," + Digits(random() % 100);
    };
    Entries list;
    auto value = [&](std::string name, std::string text, std::int16_t typ = typ::Number) {
        list.push_back({std::move(name), std::move(text), typ});
    };
    auto open = [&](std::string name) { list.push_back({std::move(name), "", typ::GroupOpen}); };
    auto close = [&] { list.push_back({"", "", typ::GroupClose}); };
    std::string bytes;
    while (bytes.size() < size) {
        list.clear();
        value("Masse", number(120));
        value("Bremskraft", number(400));
        value("Reibkraft", number(60));
        value("Bezeichnung", "Lokomotive Baureihe " + Digits(random() % 999), typ::Text);
        open("Motor");
        value("Leistung", number(6000));
        value("Treibradradius", number(80));
        for (const char* limit : {"Grenzdrehzahl_U1", "Grenzdrehzahl_U2", "Grenzdrehzahl_U3"})
            value(limit, number(3000));
        for (int gear = 0; gear < 4; ++gear) {
            open("Gang");
            // Appended, not "-" + text: GCC 12 at -O3 warns falsely on that.
            std::string ratio = gear == 0 ? "-" : "";
            value("Uebersetzung", ratio += number(10));
            value("Schaltdrehzahl", number(2500));
            close();
        }
        close();
        bytes += FormatEntries(list);
    }
    bytes.resize(size);  // the cut last token is dropped on reading, as in a torn file
    return bytes;
}

void Put(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Source(const std::filesystem::path& dir, std::int64_t size) {
    const std::filesystem::path path =
        dir / ("source-" + Digits(static_cast<std::uint64_t>(size)) + ".txt");
    if (!std::filesystem::exists(path)) Put(path, MakePropertyFile(static_cast<std::size_t>(size)));
    return path.string();
}

// Writes go to a new file, as after the save's delete: cutting an existing file
// would make ext4 push the old data to disk on close.
void Fresh(benchmark::State& state, const std::filesystem::path& target) {
    state.PauseTiming();
    std::filesystem::remove(target);
    state.ResumeTiming();
}

void Read(benchmark::State& state, const std::filesystem::path& dir) {
    const std::string path = Source(dir, state.range(0));
    const GermanFormat format;
    SilentSink sink;
    for (auto _ : state) {
        Entries list;
        Vehicle vehicle;
        if (!ReadEntries(path, list, vehicle, format, sink)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(list.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Write(benchmark::State& state, const std::filesystem::path& dir) {
    const std::string path = Source(dir, state.range(0));
    const std::string target = (dir / "written.txt").string();
    const GermanFormat format;
    SilentSink sink;
    Entries list;
    Vehicle vehicle;
    ReadEntries(path, list, vehicle, format, sink);
    for (auto _ : state) {
        Fresh(state, target);
        if (!WriteEntries(target, list)) state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(target)));
}

void Copy(benchmark::State& state, const std::filesystem::path& dir) {
    const std::string path = Source(dir, state.range(0));
    const std::filesystem::path target = dir / "copied.txt";
    SilentSink sink;
    for (auto _ : state) {
        Fresh(state, target);
        std::optional<std::string> bytes = OpenDataFile(path, sink, "r")->ReadAll();
        std::ofstream(target, std::ios::binary | std::ios::trunc)
            .write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// Saves of a vehicle file beside 0 or 3,000 other files: again and again after one load,
// and each after a load of its own. Neither should cost more for the crowded folder.
void Save(benchmark::State& state, const std::filesystem::path& dir, bool reload) {
    const std::filesystem::path folder =
        dir /
        ("folder-" + Digits(static_cast<std::uint64_t>(state.range(0))) + (reload ? "-l" : ""));
    std::filesystem::create_directory(folder);
    for (std::int64_t i = 0; i < state.range(0); ++i)
        Put(folder / ("Wagen" + Digits(static_cast<std::uint64_t>(i)) + ".txt"),
            "Masse ( 1 ) \r\n");
    const std::string path = (folder / "Lok.txt").string();
    Put(path, MakePropertyFile(4 << 10));
    const GermanFormat format;
    SilentSink sink;
    LoadedFile loaded;
    Entries list;
    Vehicle vehicle;
    ReadEntries(path, list, vehicle, format, sink, &loaded.identity);
    for (auto _ : state) {
        if (reload) {
            list.clear();
            loaded = {};
            ReadEntries(path, list, vehicle, format, sink, &loaded.identity);
        }
        if (!SaveEntries(path, list, loaded, sink).ok()) state.SkipWithError("save failed");
    }
}

}  // namespace
}  // namespace quorvel

int main(int argc, char** argv) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("quorvel-bench-" + quorvel::Digits(std::random_device{}()));
    std::filesystem::create_directory(dir);
    for (const auto& [name, run] : {std::pair{"read", &quorvel::Read},
                                    {"write", &quorvel::Write},
                                    {"copy", &quorvel::Copy}}) {
        benchmark::RegisterBenchmark(name, run, dir)
            ->Arg(100 << 10)
            ->Arg(1 << 20)
            ->Arg(10 << 20)
            ->Unit(benchmark::kMillisecond);
    }
    for (const bool reload : {false, true}) {
        benchmark::RegisterBenchmark(reload ? "load and save" : "save", &quorvel::Save, dir, reload)
            ->Arg(0)
            ->Arg(3000)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(dir);
}
