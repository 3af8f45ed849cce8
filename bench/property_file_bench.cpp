// Reading and writing property files of 100 KB to 10 MB against a plain copy of the
// same bytes, the floor any reader and writer stands on, in the same run. Nothing is
// flushed to disk. Beside them: the memory reading holds and needs at its peak per MB
// of file, the memory writing deeply nested groups needs, and loading into the editor
// a locomotive file of 10 KB and 1 MiB of nested groups; and the save command on 1 MiB of
// "Masse ( 1 )" lines, whose 75,000 entries all take the Masse field's text. The memory
// figures come from counting every operator new of this program.
//
// A 1 MB read builds about 1.9 MB (the bytes and some 52,000 entries of 16 bytes) in
// one block. glibc hands the top of its heap back to the kernel when more than twice
// its largest recent block lies free there; a run that meets this pays the first touch
// of fresh pages again. To see the code's cost per byte without it, run with
//   GLIBC_TUNABLES=glibc.malloc.mmap_threshold=268435456:glibc.malloc.trim_threshold=1073741824
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <string>

#include "BenchFakes.h"
#include "Commands.h"
#include "GuardedRead.h"
#include "Mod_Datei.h"
#include "Mod_Quorvel.h"
#include "SafeSave.h"

namespace {

// Bytes allocated through operator new now, and the most since the last Reset.
struct Allocated {
    std::size_t now = 0;
    std::size_t peak = 0;
    void Reset() { peak = now; }
};
Allocated& Counter() {
    static Allocated counter;
    return counter;
}

void* Allocate(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    Allocated& counter = Counter();
    counter.now += malloc_usable_size(block);
    if (counter.now > counter.peak) counter.peak = counter.now;
    return block;
}

void Release(void* block) noexcept {
    if (block == nullptr) return;
    Counter().now -= malloc_usable_size(block);
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* block) noexcept {
    Release(block);
}
void operator delete[](void* block) noexcept {
    Release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    Release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    Release(block);
}

namespace quorvel {
namespace {

using bench::GermanFormat;
using bench::NoDialog;
using bench::NoHost;

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
    auto value = [&](const std::string& name, const std::string& text,
                     std::int16_t typ = typ::Number) {
        list.push_back({name, text, typ});
    };
    auto open = [&](const std::string& name) { list.push_back({name, "", typ::GroupOpen}); };
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

// One locomotive as the host's files describe it, about 10 KB: its values written
// with ".", many that the editor does not show, six gears.
std::string MakeLocomotive() {
    std::string file =
        "Name ( Elektrolok E 45 ) \r\nLaenge ( 16.9 ) \r\nAchsen ( 4 ) \r\nMasse ( 84000 ) "
        "\r\nBremskraft ( 101 ) \r\nReibungskraft ( 21 ) \r\n";
    for (int part = 0; file.size() < 8500; ++part) {
        const std::string n = Digits(static_cast<std::uint64_t>(part));
        file += "Teil{\r\n\tModell ( e45_teil" + n + ".x ) \r\n\tTextur ( e45_" + n +
                ".bmp ) \r\n\tPosition ( 1." + n + " ) \r\n\tHoehe ( 0.4" + n +
                " ) \r\n\tDrehbar ( nein ) \r\n}\r\n";
    }
    file +=
        "Motor{\r\n\tLeistung ( 3600 ) \r\n\tGrenzdrehzahl_U1 ( 1500 ) \r\n\tGrenzdrehzahl_U2 ( "
        "4000 ) \r\n\tGrenzdrehzahl_U3 ( 4500 ) \r\n\tTreibradradius ( 62 ) \r\n";
    for (const char* ratio : {"-4.0", "-6.0", "-8.0", "9.0", "6.3", "3.6"})
        file += std::string("\tGang{\r\n\t\tUebersetzung ( ") + ratio + " ) \r\n\t}\r\n";
    return file + "}\r\n";
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
        benchmark::DoNotOptimize(list.size());
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
    if (std::filesystem::create_directory(folder)) {
        for (std::int64_t i = 0; i < state.range(0); ++i)
            Put(folder / ("Wagen" + Digits(static_cast<std::uint64_t>(i)) + ".txt"),
                "Masse ( 1 ) \r\n");
        Put(folder / "Lok.txt", MakePropertyFile(4 << 10));
    }
    const std::string path = (folder / "Lok.txt").string();
    // Files that are there, not just being made: otherwise the save's flushes would
    // also write out the 3,000 new files (ext4 commits their data with the journal).
    ::sync();
    const GermanFormat format;
    SilentSink sink;
    LoadedFile loaded;
    Entries list;
    Vehicle vehicle;
    ReadEntriesGuarded(path, list, vehicle, format, sink, &loaded.identity);
    for (auto _ : state) {
        if (reload) {
            list = Entries{};
            loaded = {};
            ReadEntriesGuarded(path, list, vehicle, format, sink, &loaded.identity);
        }
        if (!SaveEntries(path, list, loaded, sink).ok()) state.SkipWithError("save failed");
    }
}

// Held: what the read list keeps; peak: the most allocated while reading. Both per
// MB of file.
void ReadMemory(benchmark::State& state, const std::filesystem::path& dir) {
    const std::string path = Source(dir, state.range(0));
    const GermanFormat format;
    SilentSink sink;
    const double megabytes = static_cast<double>(state.range(0)) / (1 << 20);
    for (auto _ : state) {
        const std::size_t before = Counter().now;
        Counter().Reset();
        Entries list;
        Vehicle vehicle;
        ReadEntries(path, list, vehicle, format, sink);
        state.counters["held_MB_per_MB"] =
            static_cast<double>(Counter().now - before) / (1 << 20) / megabytes;
        state.counters["peak_MB_per_MB"] =
            static_cast<double>(Counter().peak - before) / (1 << 20) / megabytes;
    }
}

// 126 KB of groups, each inside the one before ("A{" each): the layout indents
// every line by its depth, so the output is about 2 GB. The writer hands it to a
// sink that only counts. What counts is the most memory allocated while writing.
void WriteNestedMemory(benchmark::State& state) {
    const std::size_t levels = (126 << 10) / 2;
    Entries list;
    for (std::size_t i = 0; i < levels; ++i) list.push_back({"A", "", typ::GroupOpen});
    std::size_t written = 0;
    for (auto _ : state) {
        const std::size_t before = Counter().now;
        Counter().Reset();
        written = 0;
        StreamEntries(list, [&written](std::string_view chunk) {
            written += chunk.size();
            return 0;
        });
        state.counters["peak_MB"] = static_cast<double>(Counter().peak - before) / (1 << 20);
    }
    state.counters["output_MB"] = static_cast<double>(written) / (1 << 20);
}

// What the editor's commands are handed: the German format, and a platform that asks
// nothing and shows nothing.
struct EditorFakes {
    GermanFormat format;
    SilentSink sink;
    NoDialog dialog;
    NoHost host;
    Services services{format, sink, dialog, host};
};

// What the user waits for after choosing a file: reading it and filling the window.
void LoadLocomotive(benchmark::State& state, const std::filesystem::path& dir) {
    const std::string path = (dir / "e45.txt").string();
    Put(path, MakeLocomotive());
    EditorFakes fakes;
    Services& services = fakes.services;
    EditorState editor;
    for (auto _ : state) {
        LoadFile(editor, services, path);
        benchmark::DoNotOptimize(editor.tx_VmaxV.data());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

// 1 MiB of groups, each inside the one before, one a line, then all their closings:
// read and checked for what a save would change, as the window does after a choice.
void LoadNested(benchmark::State& state, const std::filesystem::path& dir) {
    const std::string path = (dir / "nested.txt").string();
    const std::size_t levels = (1 << 20) / 7;  // "A{" and "}", each with CR LF
    std::string bytes;
    for (std::size_t i = 0; i < levels; ++i) bytes += "A{\r\n";
    for (std::size_t i = 0; i < levels; ++i) bytes += "}\r\n";
    Put(path, bytes);
    EditorFakes fakes;
    Services& services = fakes.services;
    EditorState editor;
    for (auto _ : state) {
        LoadFile(editor, services, path);
        if (!editor.EntriesLoaded) state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

// The save command on 1 MiB of one name: with 16 KiB typed into the field the output would
// be 1.2 GB and the save is refused; with a short text it is saved (written, flushed and
// renamed). Both stay linear in file size plus field texts.
void SaveMasses(benchmark::State& state, const std::filesystem::path& dir) {
    const std::string path = (dir / "masses.txt").string();
    {
        std::ofstream out(path, std::ios::binary);
        for (std::size_t size = 0; size < (1u << 20); size += 14) out << "Masse ( 1 ) \r\n";
    }
    EditorFakes fakes;
    Services& services = fakes.services;
    EditorState editor;
    LoadFile(editor, services, path);
    const std::string typed(static_cast<std::size_t>(state.range(0)), '7');
    for (auto _ : state) {
        state.PauseTiming();
        editor.tx_Masse = typed;
        state.ResumeTiming();
        SaveCommand(editor, services);
        state.PauseTiming();
        editor.tx_Masse = "1";  // the next round changes every entry again
        SaveCommand(editor, services);
        state.ResumeTiming();
    }
    state.counters["entries"] = static_cast<double>(editor.Entries.size());
}

}  // namespace
}  // namespace quorvel

int main(int argc, char** argv) {
    using namespace quorvel;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("quorvel-bench-" + Digits(std::random_device{}()));
    std::filesystem::create_directory(dir);
    // Interleaved by size, so the code and its floor share the machine's moods.
    for (const std::int64_t size : {100 << 10, 1 << 20, 10 << 20}) {
        for (const auto& [name, run] :
             {std::pair{"read", &Read}, {"write", &Write}, {"copy", &Copy}}) {
            benchmark::RegisterBenchmark(name, run, dir)->Arg(size)->Unit(benchmark::kMillisecond);
        }
    }
    for (const bool reload : {false, true}) {
        benchmark::RegisterBenchmark(reload ? "load and save" : "save", &Save, dir, reload)
            ->Arg(0)
            ->Arg(3000)
            ->Unit(benchmark::kMicrosecond);
    }
    for (const std::int64_t size : {1 << 20, 10 << 20}) {
        benchmark::RegisterBenchmark("memory_read", &ReadMemory, dir)->Arg(size)->Iterations(3);
    }
    benchmark::RegisterBenchmark("memory_write_nested", &WriteNestedMemory)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("load_locomotive", &LoadLocomotive, dir)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("load_nested_1MiB", &LoadNested, dir)
        ->Unit(benchmark::kMillisecond);
    // Typed into Masse: 16 KiB (refused) and 4 digits (saved).
    benchmark::RegisterBenchmark("save_masses_1MiB", &SaveMasses, dir)
        ->Arg(16 << 10)
        ->Arg(4)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(dir);
}
