// Fault injection for SaveEntries: strace makes each file-system call of a save fail once, or
// from there on, or kills the save there; then the files are checked and a next save must work.
// Prints the figures; exits 1 when any run broke a rule. Given FILE MASS: one save (the probe).
#include <sched.h>
#include <sys/personality.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "../test_support.h"

namespace quorvel {
namespace {

const char* const kCalls[] = {  // the file-system calls
    "openat",     "open",       "creat",    "read",   "write",     "close",      "fsync",
    "fdatasync",  "fchmod",     "fchmodat", "fchown", "fchownat",  "rename",     "renameat",
    "renameat2",  "link",       "linkat",   "unlink", "unlinkat",  "stat",       "lstat",
    "fstat",      "newfstatat", "statx",    "access", "faccessat", "faccessat2", "readlink",
    "readlinkat", "getdents64", "lseek"};
const std::string kMarker = "sched_yield";  // the probe calls it right before and after the save
enum Verdict { kSaved = 0, kRefused = 3, kToldNothing = 4 };  // the probe's exit codes

int Probe(const char* file, const char* mass) {
    const Entries entries = Sample(mass);
    ::sched_yield();
    const SaveResult result = SaveEntries(file, entries);
    ::sched_yield();
    if (result.ok()) return kSaved;
    return result.path.empty() || result.description.empty() ? kToldNothing : kRefused;
}

// A traced save: wait status, calls as (name, line); [begin, end) are the save's own calls.
struct Trace {
    int status = -1;
    std::vector<std::pair<std::string, std::string>> calls;
    std::size_t begin = 0, end = 0, marks = 0;
    std::string Nth(std::size_t index, const std::string& name) const {  // as strace counts
        long long n = 1;
        for (std::size_t i = 0; i < index; ++i) n += calls[i].first == name;
        return Decimal(n);
    }
};

// Calls whose failure leaves the save sound, so it may still succeed: looking through the
// folder for stale temporaries, closing what was only read, keeping the file's owner.
bool Harmless(const std::string& name, const std::string& line) {
    return name == "getdents64" || name == "fchown" ||
           (name == "close" && line.find(".qvtmp>") == line.npos) ||
           line.find("O_NONBLOCK") != line.npos || line.find("AT_EMPTY_PATH") != line.npos;
}

struct Figure {
    std::string name;
    int runs = 0, violations = 0;
    void Count(const std::string& broken, const std::string& where) {
        ++runs;
        if (broken.empty()) return;
        ++violations;
        std::fprintf(stderr, "%s, %s: %s\n", name.c_str(), where.c_str(), broken.c_str());
    }
};

struct Harness {
    fs::path work, dir = work / "run", file = dir / "Lok.txt", backup = dir / "Lok.txt_Orig";
    std::string probe = work / "save_probe";
    static std::string Saved(const char* mass) { return FormatEntries(Sample(mass)); }
    static std::string Before(bool later) { return later ? Saved("90") : kOld; }
    static bool Exited(int s, int code) { return WIFEXITED(s) && WEXITSTATUS(s) == code; }

    // The file before its first save, or after one (then with its backup).
    void Reset(bool later) const {
        fs::remove_all(dir);
        fs::create_directory(dir);
        std::ofstream(file) << Before(later);
        if (later) std::ofstream(backup) << kOld;
    }
    std::string Stray() const {
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path() != file && entry.path() != backup) return entry.path();
        return {};
    }
    // Saves through the probe, started by command (setpriv, strace) when given.
    int Save(const std::string& command, const char* mass = "100") const {
        return std::system(("exec " + command + probe + " " + file.native() + " " + mass).c_str());
    }
    Trace Traced(bool later, const std::string& injects = "") const {
        Reset(later);
        std::string set = "?" + kMarker;  // '?': a name this machine lacks is skipped
        for (const char* call : kCalls) set += std::string(",?") + call;
        const std::string log = work / "trace.log";
        Trace t;
        t.status = Save("strace -f -qq -y -o " + log + " -e 'trace=" + set + "'" + injects + " ");
        static const std::regex call(R"(^\d+ +(\w+)\()");
        std::ifstream in(log);
        std::smatch name;
        for (std::string line; std::getline(in, line);) {
            if (!std::regex_search(line, name, call)) continue;
            if (name[1] == kMarker) (t.marks++ == 0 ? t.begin : t.end) = t.calls.size();
            if (name[1] != kMarker) t.calls.emplace_back(name[1], line);
        }
        return t;
    }

    // The rules every run keeps, then the next save (here: the probe that left temporaries
    // behind is gone) must work and clean up. Empty when all were kept.
    std::string Judge(int s, bool later, bool killed, bool mayLeaveTemporary, bool mustFail) const {
        const std::string bytes = Get(file);
        const bool backedUp = fs::exists(backup), saved = Exited(s, kSaved);
        if (!fs::exists(file)) return "the file is gone";
        if (bytes != Before(later) && bytes != Saved("100")) return "file mixed";
        if (later && !backedUp) return "backup lost";
        if (backedUp && Get(backup) != kOld) return "backup is not the first version";
        if (killed != (WIFSIGNALED(s) && WTERMSIG(s) == SIGKILL)) return "status " + Decimal(s);
        if (saved && (mustFail || bytes != Saved("100") || !backedUp)) return "wrong success";
        if (!killed && !saved && !Exited(s, kRefused)) return "no path and description";
        if (!mayLeaveTemporary && !Stray().empty()) return "left " + Stray();
        const SaveResult next = SaveEntries(file, Sample("110"));
        if (!next.ok()) return "next save failed: " + next.description;
        if (Get(file) != Saved("110") || Get(backup) != kOld) return "next save wrong";
        return Stray().empty() ? "" : "next save left " + Stray();
    }

    // In a clean save each file is flushed before it is moved or linked in place, its folder after.
    void CheckOrder(const Trace& t, bool later, Figure& f) const {
        static const std::regex fdPath("<([^>]*)>"), twoPaths(R"re("([^"]*)"[^"]*"([^"]*)")re");
        std::set<std::string> flushed, due;  // files flushed since written; folders to flush
        int placements = 0;
        for (std::size_t i = t.begin; i < t.end; ++i) {
            const auto& [call, line] = t.calls[i];
            std::smatch fd, paths;
            std::regex_search(line, fd, fdPath);
            if (call == "write") flushed.erase(fd[1]);
            if (call.ends_with("sync")) flushed.insert(fd[1]);  // fsync, fdatasync
            if (call.ends_with("sync")) due.erase(fd[1]);
            if ((call.starts_with("rename") || call.starts_with("link")) &&
                line.ends_with(" = 0") && std::regex_search(line, paths, twoPaths)) {
                ++placements;
                f.Count(flushed.contains(paths[1]) ? "" : "placed unflushed", line);
                due.insert(fs::path(paths[2].str()).parent_path());
            }
        }
        for (const std::string& folder : due) f.Count("not flushed after placing", folder);
        if (!Exited(t.status, kSaved) || placements != (later ? 1 : 2))
            f.Count(Decimal(placements) + " placements", "clean run");
    }

    // fault is strace's "error=..." or "signal=KILL"; lasting: the call and all later fail.
    Figure Inject(const std::string& fault, bool lasting, bool later, Figure& order) const {
        const bool kill = fault == "signal=KILL", once = !kill && !lasting;
        Figure f{
            (kill ? "kill" : (lasting ? "lasting fault " : "single fault ") + fault.substr(6)) +
            (later ? ", later save" : ", first save")};
        const Trace clean = Traced(later);
        const bool ok = Exited(clean.status, kSaved) && clean.marks == 2;
        if (!ok) f.Count("failed", "clean run");
        CheckOrder(clean, later, order);
        for (std::size_t at = clean.begin; ok && at < clean.end; ++at) {
            const auto& [call, line] = clean.calls[at];
            std::string injects;
            for (const std::string other : kCalls)
                if (lasting || other == call)
                    injects += " -e inject=" + other + ":" + fault +
                               ":when=" + clean.Nth(at, other) + (lasting ? "+" : "");
            const Trace hit = Traced(later, injects);
            // The fault must have hit the intended call, or the run proves nothing.
            const std::size_t target = at - clean.begin + hit.begin;
            const bool missed =
                target >= hit.calls.size() || hit.calls[target].first != call ||
                hit.calls[target].second.find(kill ? "= ?" : "(INJECTED)") == line.npos;
            f.Count(missed ? "fault missed"
                           : Judge(hit.status, later, kill, !once || call.starts_with("unlink"),
                                   once && !Harmless(call, line)),
                    "call " + Decimal(at - clean.begin + 1) + " " + line);
        }
        return f;
    }

    // Root ignores file modes, so these run as nobody, who then owns folder and files.
    Figure Permissions() const {
        Figure f{"read-only file / folder, as a plain user"};
        const bool root = ::geteuid() == 0;
        for (const auto& [name, folderMode, fileMode, later] :
             {std::tuple{"read-only file", 0755, 0444, false},
              {"read-only folder", 0555, 0644, false},
              {"read-only folder, later", 0555, 0644, true}}) {
            Reset(later);
            fs::permissions(file, fs::perms(fileMode));
            for (const fs::path& p : {dir, file, backup})
                if (root && fs::exists(p) && ::chown(p.c_str(), 65534, 65534) != 0)
                    std::perror("chown");
            fs::permissions(dir, fs::perms(folderMode));
            const int s = Save(root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "");
            fs::permissions(dir, fs::perms(0755));
            fs::permissions(file, fs::perms(0644));
            const bool touched = Get(file) != Before(later) || fs::exists(backup) != later;
            f.Count(touched ? "changed files" : Judge(s, later, false, false, true), name);
        }
        return f;
    }
};

int Main() {
    if (std::system("(strace -V && setpriv -V) >/dev/null") != 0) return 1;  // sh names it
    std::string work = (fs::temp_directory_path() / "save_fault_XXXXXX").string();
    if (::mkdtemp(work.data()) == nullptr) return 1;
    const Harness h{fs::canonical(work)};
    // The probe must be reachable for the plain user of the permission runs.
    fs::permissions(h.work, fs::perms(0755));
    fs::copy_file("/proc/self/exe", h.probe);
    // Fixed addresses: the sanitizer runtime then makes the same start-up calls in every run, so
    // the n-th call of a kind is the same call each time. Its leak checker cannot be traced.
    ::personality(ADDR_NO_RANDOMIZE);
    const char* asan = std::getenv("ASAN_OPTIONS");
    ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);

    std::vector<Figure> figures;
    Figure order{"order: flush, place, flush folder"};
    for (const bool later : {false, true})
        for (const char* fault : {"error=EIO", "error=ENOSPC", "signal=KILL"})
            for (const bool lasting : {false, true})
                if (!lasting || fault[0] == 'e')
                    figures.push_back(h.Inject(fault, lasting, later, order));
    figures.push_back(order);
    figures.push_back(h.Permissions());
    Figure& once = figures.emplace_back(Figure{"backup made once (three saves)"});
    h.Reset(false);
    for (const char* mass : {"90", "100", "110"}) h.Save("", mass);
    once.Count(Get(h.backup) == kOld && Get(h.file) == h.Saved("110") ? "" : "wrong", "the files");

    int violations = 0;
    std::printf("| %-40s | %5s | %10s |\n|%s|-------|------------|\n", "scenario", "runs",
                "violations", std::string(42, '-').c_str());
    for (const Figure& f : figures) {
        std::printf("| %-40s | %5d | %10d |\n", f.name.c_str(), f.runs, f.violations);
        violations += f.violations;
    }
    fs::remove_all(h.work);
    return violations == 0 ? 0 : 1;
}

}  // namespace
}  // namespace quorvel

int main(int argc, char** argv) {  // the probe runs no exit handlers: lasting faults hit them
    if (argc == 3) std::_Exit(quorvel::Probe(argv[1], argv[2]));
    return quorvel::Main();
}
