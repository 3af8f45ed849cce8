// Fault injection for SaveEntries: strace makes each file-system call of a save fail once, or
// from there on, or kills the save there; then the files are checked and a next save must work.
// Then two saves at once, stopped by strace at chosen calls so that they interleave: in
// separate pid namespaces, and both the first save of a file.
// Prints the figures; exits 1 when any run broke a rule. Given FILE MASS [ja]: one load and save
// (the probe), answering a question about a changed file with Nein, or with Ja when told so.
#include <sched.h>
#include <sys/personality.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>

#include "GuardedRead.h"
#include "test_support.h"

namespace quorvel {
namespace {

const char* const kCalls[] = {  // the file-system calls
    "openat",     "open",       "creat",    "read",    "write",     "close",      "fsync",
    "fdatasync",  "fchmod",     "fchmodat", "fchown",  "fchownat",  "rename",     "renameat",
    "renameat2",  "link",       "linkat",   "unlink",  "unlinkat",  "stat",       "lstat",
    "fstat",      "newfstatat", "statx",    "access",  "faccessat", "faccessat2", "readlink",
    "readlinkat", "getdents64", "lseek",    "pread64", "flock",     "flistxattr", "fgetxattr",
    "fsetxattr",  "getrandom"};
const std::string kMarker = "sched_yield";  // the probe calls it right before and after the save
enum Verdict { kSaved = 0, kRefused = 3, kToldNothing = 4 };  // the probe's exit codes

// Exits without running destructors or exit handlers: lasting faults would hit them.
[[noreturn]] void Probe(const char* file, const char* mass, bool yes) {
    const Entries entries = Sample(mass);
    RecordingSink sink;
    sink.answer = yes;
    LoadedFile loaded;
    Entries read;
    Vehicle vehicle;
    if (!ReadEntriesGuarded(file, read, vehicle, kGerman, sink, &loaded.identity))
        std::_Exit(kToldNothing);
    // The sanitizer checks a virtual call's type once, through calls a lasting fault fails.
    static_cast<MessageSink&>(sink).ShowMessage("", "", MessageIcon::Critical);
    ::sched_yield();
    const SaveResult result = SaveEntries(file, entries, loaded, sink);
    ::sched_yield();
    const bool told =
        result.step == SaveStep::Declined || !(result.path.empty() || result.description.empty());
    std::_Exit(result.ok() ? kSaved : told ? kRefused : kToldNothing);
}

// A traced save: wait status, calls as (name, line); [begin, end) are the save's own calls.
struct Trace {
    int status = -1;
    std::vector<std::pair<std::string, std::string>> calls;
    std::size_t begin = 0, end = 0, marks = 0;
    std::string Nth(std::size_t index, const std::string& name) const {  // as strace counts
        long long n = 1;
        for (std::size_t i = 0; i < index; ++i) n += calls[i].first == name;
        return std::to_string(n);
    }
};

// Calls whose failure leaves the save sound, so it may still succeed: looking through the
// folder for stale temporaries, closing what was only read, keeping the file's owner.
// Copying extended attributes is best effort too, and so is taking a leftover's lock. A
// temporary's own status is asked again another way when the first call fails.
bool Harmless(const std::string& name, const std::string& line) {
    return name == "getdents64" || name == "fchown" || name.find("xattr") != name.npos ||
           line.find("LOCK_NB") != line.npos ||
           (name == "close" && line.find(".qvtmp>") == line.npos) ||
           line.find("O_NONBLOCK") != line.npos || line.find("AT_EMPTY_PATH") != line.npos ||
           (name == "newfstatat" && line.find(".qvtmp\"") != line.npos);
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

    // The file before its first save, or after one (then with its backup). It carries an
    // extended attribute, and set-id bits that no save may pass on.
    void Reset(bool later) const {
        fs::remove_all(dir);
        fs::create_directory(dir);
        std::ofstream(file) << Before(later);
        if (later) std::ofstream(backup) << kOld;
        // Without them on this filesystem the attribute calls are not exercised.
        ::setxattr(file.c_str(), "user.quorvel", "Wert", 4, 0);
        fs::permissions(file, fs::perms(06644));
    }
    static bool SetId(const fs::path& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && (info.st_mode & 07000) != 0;
    }
    std::string Stray() const {
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path() != file && entry.path() != backup) return entry.path();
        return {};
    }
    // Saves through the probe, started by command (setpriv, strace) when given.
    int Save(const std::string& command, const char* mass = "100") const {
        return std::system(("exec " + command + ProbeLine(mass)).c_str());
    }
    std::string ProbeLine(const char* mass, bool yes = false) const {
        return probe + " " + file.native() + " " + mass + (yes ? " ja" : "");
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
        if (killed != (WIFSIGNALED(s) && WTERMSIG(s) == SIGKILL))
            return "status " + std::to_string(s);
        if (saved && (mustFail || bytes != Saved("100") || !backedUp)) return "wrong success";
        if ((bytes == Saved("100") && SetId(file)) || (!later && backedUp && SetId(backup)))
            return "set-id bits passed on";
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
            if (call.ends_with("sync"))
                flushed.insert(fd[1]), due.erase(fd[1]);  // fsync, fdatasync
            if ((call.starts_with("rename") || call.starts_with("link")) &&
                line.ends_with(" = 0") && std::regex_search(line, paths, twoPaths)) {
                ++placements;
                f.Count(flushed.contains(paths[1]) ? "" : "placed unflushed", line);
                due.insert(fs::path(paths[2].str()).parent_path());
            }
        }
        for (const std::string& folder : due) f.Count("not flushed after placing", folder);
        if (!Exited(t.status, kSaved) || placements != (later ? 1 : 2))
            f.Count(std::to_string(placements) + " placements", "clean run");
    }

    // fault is strace's "error=..." or "signal=KILL"; lasting: the call and all later fail;
    // alone: the call and all later of its kind fail, and the save must still leave no
    // temporary or mark behind unless removing is what fails.
    Figure Inject(const std::string& fault, bool lasting, bool later, Figure& order,
                  bool alone = false) const {
        const bool kill = fault == "signal=KILL", once = !kill && !lasting;
        Figure f{kill ? "kill" : (once ? "single fault " : "lasting fault ") + fault.substr(6)};
        f.name +=
            (alone ? " of one call" : "") + std::string(later ? ", later save" : ", first save");
        const Trace clean = Traced(later);
        const bool ok = Exited(clean.status, kSaved) && clean.marks == 2;
        if (!ok) f.Count("failed", "clean run");
        CheckOrder(clean, later, order);
        for (std::size_t at = clean.begin; ok && at < clean.end; ++at) {
            const auto& [call, line] = clean.calls[at];
            std::string injects;
            for (const std::string other : kCalls)
                if ((lasting && !alone) || other == call)
                    injects += " -e inject=" + other + ":" + fault +
                               ":when=" + clean.Nth(at, other) + (lasting ? "+" : "");
            const Trace hit = Traced(later, injects);
            // The fault must have hit the intended call, or the run proves nothing.
            const std::size_t target = at - clean.begin + hit.begin;
            const bool missed =
                target >= hit.calls.size() || hit.calls[target].first != call ||
                hit.calls[target].second.find(kill ? "= ?" : "(INJECTED)") == line.npos;
            f.Count(missed ? "fault missed"
                           : Judge(hit.status, later, kill,
                                   (!once && !alone) || call.starts_with("unlink"),
                                   once && !Harmless(call, line)),
                    "call " + std::to_string(at - clean.begin + 1) + " " + line);
        }
        return f;
    }

    // Starts a save (probe answering Ja unless told), inside a new pid namespace when asked.
    // With a call given, strace stops it after the n-th call of that kind, logging into log.
    // Gives the launcher's pid and, once stopped, the probe's (0: not within 30 s).
    std::pair<pid_t, pid_t> Start(const char* mass, bool namespaced, const std::string& call = "",
                                  const std::string& n = "", const std::string& log = "",
                                  bool yes = true) const {
        std::string line = namespaced ? "unshare --pid --fork " : "";
        if (!call.empty()) {
            line += "strace -f -qq -o " + log + " -e trace=" + call + " -e inject=" + call +
                    ":signal=STOP:when=" + n + " ";
            fs::remove(log);  // an earlier run's would tell of a stop too soon
        }
        line += ProbeLine(mass, yes);
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/bin/sh", "sh", "-c", ("exec " + line).c_str(), nullptr);
            std::_Exit(127);
        }
        return {child, call.empty() ? 0 : StoppedProbe(log, child)};
    }

    // Once strace's log tells the probe below launcher stopped: its pid. 0 when that does not
    // happen within 30 s.
    static pid_t StoppedProbe(const std::string& log, pid_t launcher) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(std::chrono::milliseconds(2))) {  // waiting, not timing
            if (Get(log).find("--- stopped by SIGSTOP ---") == std::string::npos) continue;
            for (const auto& entry : fs::directory_iterator("/proc")) {
                const std::string name = entry.path().filename();
                if (name.find_first_not_of("0123456789") != name.npos) continue;
                const std::string stat = Get(entry.path() / "stat");
                if (stat.find("(save_probe) t") == stat.npos &&
                    stat.find("(save_probe) T") == stat.npos)
                    continue;
                // Only a probe of this run: launcher is among its ancestors.
                for (pid_t up = std::stoi(name); up > 1;) {
                    const std::string fields = Get("/proc/" + std::to_string(up) + "/stat");
                    std::istringstream after(fields.substr(fields.rfind(')') + 1));
                    std::string state;
                    if (!(after >> state >> up)) break;
                    if (up == launcher) return std::stoi(name);
                }
            }
        }
        return 0;
    }

    using Pick = std::function<bool(const std::string& call, const std::string& line)>;
    std::string Interleaved(bool later, bool namespaced, bool killB, const Pick& stopAfter) const {
        const Trace clean = Traced(later);
        std::size_t at = clean.begin;
        while (at < clean.end && !stopAfter(clean.calls[at].first, clean.calls[at].second)) ++at;
        if (at == clean.end) return "no call to stop at";
        Reset(later);
        const std::string& call = clean.calls[at].first;
        const auto [a, probeA] =
            Start("100", namespaced, call, clean.Nth(at, call), work / "a.log");
        int statusA = -1, statusB = -1;
        pid_t b = 0, probeB = 0;
        if (probeA != 0) {
            std::tie(b, probeB) = killB ? Start("120", namespaced, "write", "1", work / "b.log")
                                        : Start("100", namespaced);
            if (!killB) ::waitpid(b, &statusB, 0);
            ::kill(probeA, SIGCONT);
        }
        if (probeA == 0) ::kill(a, SIGKILL);  // its probe stays stopped, or never stopped
        ::waitpid(a, &statusA, 0);
        if (killB && b != 0) ::kill(probeB != 0 ? probeB : b, SIGKILL), ::waitpid(b, &statusB, 0);
        if (probeA == 0 || (killB && probeB == 0)) return "a save did not stop where it should";
        if (!killB && !(Exited(statusA, kSaved) && Exited(statusB, kSaved)))
            return "not both saved: " + std::to_string(statusA) + ", " + std::to_string(statusB);
        return Judge(statusA, later, false, true, false);
    }

    // Another program rewrites the file between the load and the save; told Nein, the save
    // must write nothing at all.
    std::string ChangedMeanwhile() const {
        Reset(false);
        const auto [a, probe] = Start("100", false, kMarker, "1", work / "a.log", false);
        if (probe != 0) std::ofstream(file) << Saved("120");
        ::kill(probe != 0 ? probe : a, probe != 0 ? SIGCONT : SIGKILL);
        int s = -1;
        ::waitpid(a, &s, 0);
        if (probe == 0 || !Exited(s, kRefused)) return "status " + std::to_string(s);
        if (Get(file) != Saved("120") || fs::exists(backup) || !Stray().empty()) return "written";
        return "";
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
    const TempFolder temp("save_fault_");
    const Harness h{fs::canonical(temp.path)};
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
    for (const bool later : {false, true})
        figures.push_back(h.Inject("error=EIO", true, later, order, true));
    figures.push_back(order);
    figures.push_back(h.Permissions());
    // Both namespaces give their probe the same pid; B is killed after writing its temporary.
    using Line = const std::string&;
    Figure& race = figures.emplace_back(Figure{"two saves, own pid namespaces, one killed"});
    if (std::system("unshare --pid --fork true 2>/dev/null") == 0)
        race.Count(h.Interleaved(true, true, true, [](Line call, Line) { return call == "write"; }),
                   "A stopped after writing its temporary");
    else
        std::printf("pid namespaces not allowed here: that case is skipped\n");
    figures.emplace_back(Figure{"file changed since the load, Nein"})
        .Count(h.ChangedMeanwhile(), "changed while the save was stopped at its start");
    Figure& firsts = figures.emplace_back(Figure{"two first saves at once"});
    for (const auto& [where, stop] : std::initializer_list<std::pair<const char*, Harness::Pick>>{
             {"A stopped after finding no backup",
              [](Line, Line l) { return l.find("_Orig\"") != l.npos; }},
             {"A stopped after flushing its backup copy",
              [](Line call, Line) { return call == "fsync"; }}})
        firsts.Count(h.Interleaved(false, false, false, stop), where);
    Figure& once = figures.emplace_back(Figure{"backup made once (three saves)"});
    h.Reset(false);
    for (const char* mass : {"90", "100", "110"}) h.Save("", mass);
    once.Count(Get(h.backup) == kOld && Get(h.file) == h.Saved("110") ? "" : "wrong", "the files");

    int violations = 0;
    std::printf("| %-42s | %5s | %10s |\n|%s|-------|------------|\n", "scenario", "runs",
                "violations", std::string(44, '-').c_str());
    for (const Figure& f : figures) {
        std::printf("| %-42s | %5d | %10d |\n", f.name.c_str(), f.runs, f.violations);
        violations += f.violations;
    }
    return violations == 0 ? 0 : 1;
}

}  // namespace
}  // namespace quorvel

int main(int argc, char** argv) {
    if (argc == 3 || argc == 4) quorvel::Probe(argv[1], argv[2], argc == 4);
    return quorvel::Main();
}
