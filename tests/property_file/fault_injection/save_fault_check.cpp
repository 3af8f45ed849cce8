// Fault injection for SaveEntries. Every file-system call of a save is made to fail
// once, or to fail from there on, or the process is killed right before it; then
// the files on disk are checked and a clean save must still go through. strace
// does the injecting, so every call the save makes is reached, library calls too.
// Prints the figures as a table and exits non-zero when any run broke a rule.
//
//   save_fault_check                      run every scenario
//   save_fault_check probe FILE MASS      save the sample entries (used by the runs)
#include <fcntl.h>
#include <sched.h>
#include <sys/personality.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Mod_Quorvel.h"
#include "SafeSave.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// What counts as a file-system call; '?' lets strace skip names this machine lacks.
const char* const kCalls[] = {
    "openat",     "open",       "creat",    "read",   "write",     "close",      "fsync",
    "fdatasync",  "fchmod",     "fchmodat", "fchown", "fchownat",  "rename",     "renameat",
    "renameat2",  "link",       "linkat",   "unlink", "unlinkat",  "stat",       "lstat",
    "fstat",      "newfstatat", "statx",    "access", "faccessat", "faccessat2", "readlink",
    "readlinkat", "getdents64", "lseek"};
const char* const kMarker = "sched_yield";  // the probe calls it right before and after the save

const std::string kOld = "Masse (80)\nMotor{ Leistung (1000) }\n";

std::string Decimal(long long n) {
    char digits[24];
    return {digits, std::to_chars(digits, digits + sizeof digits, n).ptr};
}

Entries Sample(const std::string& mass) {
    return {{"Masse", mass, typ::Number}, {"Motor", "", typ::GroupOpen}, {"", "", typ::GroupClose}};
}

int Probe(const char* file, const char* mass) {
    const Entries entries = Sample(mass);
    ::sched_yield();
    const SaveResult result = SaveEntries(file, entries);
    ::sched_yield();
    static const char* const kSteps[] = {"None", "CheckFile", "Backup", "Write", "Replace"};
    std::string line = result.ok() ? "ok"
                                   : std::string("fail ") + kSteps[static_cast<int>(result.step)] +
                                         " " + Decimal(result.errorCode) + "\t" + result.path +
                                         "\t" + result.description;
    line += '\n';
    // writev is not among the failing calls, so the verdict always gets out.
    iovec io{line.data(), line.size()};
    if (::writev(1, &io, 1) < 0) return 4;
    return result.ok() ? 0 : 3;
}

struct Run {
    int status = -1;
    std::string out;
    bool Exited(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
    bool Killed() const { return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL; }
};

Run Spawn(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        // Fixed addresses: the sanitizer runtime then makes the same calls at start-up
        // in every run, so the n-th call of a kind is the same call each time.
        ::personality(ADDR_NO_RANDOMIZE);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    Run run;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) run.out.append(buffer, n);
    ::close(out[0]);
    if (pid > 0) ::waitpid(pid, &run.status, 0);
    return run;
}

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// One traced call: its name and the whole line strace wrote.
struct Call {
    std::string name;
    std::string line;
};

std::vector<Call> ReadTrace(const fs::path& log) {
    std::vector<Call> calls;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        std::size_t at = line.find_first_not_of("0123456789 ");
        const std::size_t paren = line.find('(', at);
        if (at == std::string::npos || paren == std::string::npos) continue;
        const std::string name = line.substr(at, paren - at);
        if (name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") == std::string::npos) {
            calls.push_back({name, line});
        }
    }
    return calls;
}

// Index of the first call of the save, and one past its last.
std::pair<std::size_t, std::size_t> SaveWindow(const std::vector<Call>& calls) {
    std::vector<std::size_t> marks;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].name == kMarker) marks.push_back(i);
    }
    if (marks.empty()) return {0, 0};
    return {marks[0] + 1, marks.size() > 1 ? marks[1] : calls.size()};
}

// How many calls of `name` come before `index`.
int CountBefore(const std::vector<Call>& calls, std::size_t index, const std::string& name) {
    int count = 0;
    for (std::size_t i = 0; i < index; ++i) count += calls[i].name == name;
    return count;
}

// Calls whose failure leaves the save sound, so it may still succeed: looking
// through the folder for stale temporaries, closing what was only read, and
// keeping the file's owner.
bool Harmless(const Call& call) {
    const std::string& line = call.line;
    return call.name == "getdents64" || call.name == "fchown" ||
           (call.name == "close" && line.find(".qvtmp>") == std::string::npos) ||
           line.find("O_NONBLOCK") != std::string::npos ||
           line.find("AT_EMPTY_PATH") != std::string::npos;
}

enum class Fault { Once, FromThenOn, Kill };

struct Scenario {
    const char* name;
    Fault fault;
    bool later;  // the file was saved before: its backup exists
};

struct Figure {
    std::string name;
    int runs = 0;
    int violations = 0;
};

class Harness {
  public:
    Harness(fs::path work, std::string probe) : work_(std::move(work)), probe_(std::move(probe)) {}

    fs::path Dir() const { return work_ / "run"; }
    fs::path File() const { return Dir() / "Lok.txt"; }
    fs::path Backup() const { return Dir() / "Lok.txt_Orig"; }
    std::string Expected(const char* mass) const { return FormatEntries(Sample(mass)); }

    void Reset(bool later) {
        std::error_code ec;
        fs::remove_all(Dir(), ec);
        fs::create_directory(Dir());
        Write(File(), later ? Expected("90") : kOld);
        if (later) Write(Backup(), kOld);
    }

    std::set<std::string> Strays() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(Dir())) {
            const std::string name = entry.path().filename().string();
            if (name != "Lok.txt" && name != "Lok.txt_Orig") names.insert(name);
        }
        return names;
    }

    Run Traced(const fs::path& log, const std::vector<std::string>& injects,
               const char* mass = "100") const {
        std::string set = std::string("?") + kMarker;
        for (const char* call : kCalls) set += std::string(",?") + call;
        // -y names the file behind each descriptor.
        std::vector<std::string> argv = {"strace", "-f",         "-qq", "-y",
                                         "-o",     log.string(), "-e",  "trace=" + set};
        // The leak checker cannot run under a tracer.
        const char* asan = std::getenv("ASAN_OPTIONS");
        argv.push_back("-E");
        argv.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0");
        for (const std::string& inject : injects) {
            argv.push_back("-e");
            argv.push_back("inject=" + inject);
        }
        for (const std::string& arg :
             {probe_, std::string("probe"), File().string(), std::string(mass)}) {
            argv.push_back(arg);
        }
        return Spawn(argv);
    }

    Run Plain(const char* mass) const { return Spawn({probe_, "probe", File().string(), mass}); }

    // The rules every run must keep; an empty text when it kept them all.
    std::string Judge(const Run& run, bool later, bool mayBeKilled, bool mayLeaveTemporary) const {
        const std::string file = Read(File()), newBytes = Expected("100");
        const bool backupThere = fs::exists(Backup());
        if (!fs::exists(File())) return "the file is gone";
        if (file != (later ? Expected("90") : kOld) && file != newBytes) return "file mixed";
        if (later && !backupThere) return "backup lost";
        if (backupThere && Read(Backup()) != kOld) return "backup is not the first version";
        if (run.Killed() && mayBeKilled) return {};
        if (run.Exited(0)) {
            if (run.out != "ok\n") return "odd verdict: " + run.out;
            if (file != newBytes || !backupThere) return "success without new file and backup";
        } else if (run.Exited(3)) {
            const auto tab1 = run.out.find('\t'), tab2 = run.out.rfind('\t');
            if (run.out.rfind("fail ", 0) != 0 || tab1 == tab2 || tab1 + 1 == tab2 ||
                tab2 + 2 >= run.out.size()) {
                return "failure without path and description: " + run.out;
            }
        } else {
            return "aborted (status " + Decimal(run.status) + ")";
        }
        if (!mayLeaveTemporary && !Strays().empty()) return "left " + *Strays().begin();
        return {};
    }

    // After any fault the next save must work and clean up. It runs in this
    // process: the probe that left temporaries behind is gone by now.
    std::string JudgeNextSave() const {
        const SaveResult result = SaveEntries(File().string(), Sample("110"));
        if (!result.ok()) return "next save failed: " + result.description;
        if (Read(File()) != Expected("110") || Read(Backup()) != kOld) return "next save wrong";
        if (!Strays().empty()) return "next save left " + *Strays().begin();
        return {};
    }

    Figure Inject(const Scenario& s, const char* error) {
        Figure figure{std::string(s.name) + (error ? std::string(" ") + error : "") +
                      (s.later ? ", later save" : ", first save")};
        const fs::path clean = work_ / "clean.log", log = work_ / "fault.log";
        Reset(s.later);
        const Run first = Traced(clean, {});
        const std::vector<Call> calls = ReadTrace(clean);
        const auto [begin, end] = SaveWindow(calls);
        if (!first.Exited(0) || begin >= end) {
            ++figure.violations;
            std::fprintf(stderr, "%s: the clean run failed: %s\n", figure.name.c_str(),
                         first.out.c_str());
            return figure;
        }
        for (std::size_t at = begin; at < end; ++at) {
            const std::string& name = calls[at].name;
            const std::string when = Decimal(CountBefore(calls, at, name) + 1);
            std::vector<std::string> injects;
            if (s.fault == Fault::Once) {
                injects.push_back(name + ":error=" + error + ":when=" + when);
            } else if (s.fault == Fault::Kill) {
                injects.push_back(name + ":signal=KILL:when=" + when);
            } else {
                for (const char* call : kCalls) {
                    injects.push_back(std::string(call) + ":error=" + error +
                                      ":when=" + Decimal(CountBefore(calls, at, call) + 1) + "+");
                }
            }
            Reset(s.later);
            const Run run = Traced(log, injects);
            ++figure.runs;
            // The fault must have hit the intended call, or the run proves nothing.
            const std::vector<Call> hit = ReadTrace(log);
            const std::size_t target = at - begin + SaveWindow(hit).first;
            std::string broken;
            if (target >= hit.size() || hit[target].name != name ||
                hit[target].line.find(s.fault == Fault::Kill ? "= ?" : "(INJECTED)") ==
                    std::string::npos) {
                broken = "fault missed " + calls[at].line;
            }
            const bool unlinkFailed = name == "unlink" || name == "unlinkat";
            if (broken.empty()) {
                broken = Judge(run, s.later, s.fault == Fault::Kill,
                               s.fault != Fault::Once || unlinkFailed);
            }
            if (broken.empty() && s.fault == Fault::Once && run.Exited(0) && !Harmless(calls[at])) {
                broken = "failure reported as success";
            }
            if (broken.empty()) broken = JudgeNextSave();
            if (!broken.empty()) {
                ++figure.violations;
                std::fprintf(stderr, "%s, call %zu (%s): %s\n", figure.name.c_str(), at - begin + 1,
                             calls[at].line.c_str(), broken.c_str());
            }
        }
        return figure;
    }

    // Every file is flushed before it is renamed or linked into place, and its
    // folder is flushed after.
    Figure Order() {
        Figure figure{"order: flush, place, flush folder"};
        for (const bool later : {false, true}) {
            Reset(later);
            const fs::path log = work_ / "order.log";
            const Run run = Traced(log, {});
            const std::vector<Call> calls = ReadTrace(log);
            const auto [begin, end] = SaveWindow(calls);
            std::set<std::string> flushed;         // files flushed since their last write
            std::map<std::string, int> folderDue;  // folder -> placements awaiting a flush
            int placements = 0;
            for (std::size_t i = begin; i < end; ++i) {
                const std::string& line = calls[i].line;
                const auto fdPath = [&] {
                    const auto open = line.find('<'), close = line.find(">", open);
                    return line.substr(open + 1, close - open - 1);
                };
                std::vector<std::string> quoted;
                for (std::size_t q = line.find('"'); q != std::string::npos;) {
                    const std::size_t e = line.find('"', q + 1);
                    quoted.push_back(line.substr(q + 1, e - q - 1));
                    q = line.find('"', e + 1);
                }
                const std::string& n = calls[i].name;
                if (n == "write") flushed.erase(fdPath());
                if (n == "fsync" || n == "fdatasync") {
                    flushed.insert(fdPath());
                    folderDue.erase(fdPath());
                }
                if ((n.starts_with("rename") || n.starts_with("link")) && quoted.size() >= 2 &&
                    line.find(" = 0") != std::string::npos) {
                    ++placements;
                    ++figure.runs;
                    if (!flushed.contains(quoted[0])) {
                        ++figure.violations;
                        std::fprintf(stderr, "placed unflushed: %s\n", line.c_str());
                    }
                    ++folderDue[fs::path(quoted[1]).parent_path().string()];
                }
            }
            for (const auto& [folder, count] : folderDue) {
                figure.violations += count;
                std::fprintf(stderr, "folder not flushed after placing: %s\n", folder.c_str());
            }
            if (!run.Exited(0) || placements != (later ? 1 : 2)) {
                ++figure.violations;
                std::fprintf(stderr, "order: %d placements, verdict %s\n", placements,
                             run.out.c_str());
            }
        }
        return figure;
    }

    Figure BackupOnce() {
        Figure figure{"backup made once (three saves)", 1, 0};
        Reset(false);
        bool ok = true;
        for (const char* mass : {"90", "100", "110"}) ok = ok && Plain(mass).Exited(0);
        if (!ok || Read(Backup()) != kOld || Read(File()) != Expected("110")) {
            figure.violations = 1;
        }
        return figure;
    }

    // Root ignores file modes, so these run as nobody.
    Figure Permissions() {
        Figure figure{"read-only file / folder, as a plain user"};
        const bool root = ::geteuid() == 0;
        struct Case {
            const char* name;
            fs::perms folder, file;
            bool later;
        };
        const Case cases[] = {
            {"read-only file", fs::perms(0755), fs::perms(0444), false},
            {"read-only folder", fs::perms(0555), fs::perms(0644), false},
            {"read-only folder, later save", fs::perms(0555), fs::perms(0644), true}};
        for (const Case& c : cases) {
            Reset(c.later);
            const std::string before = Read(File());
            const bool hadBackup = fs::exists(Backup());
            fs::permissions(File(), c.file);
            if (root) {
                for (const fs::path& p : {Dir(), File(), Backup()}) {
                    if (fs::exists(p) && ::chown(p.c_str(), 65534, 65534) != 0)
                        std::perror("chown");
                }
            }
            fs::permissions(Dir(), c.folder);
            std::vector<std::string> argv = {probe_, "probe", File().string(), "100"};
            if (root) {
                argv.insert(argv.begin(),
                            {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
            }
            const Run run = Spawn(argv);
            fs::permissions(Dir(), fs::perms(0755));
            ++figure.runs;
            if (!run.Exited(3) || Read(File()) != before || fs::exists(Backup()) != hadBackup ||
                !Strays().empty() || run.out.find('\t') == std::string::npos) {
                ++figure.violations;
                std::fprintf(stderr, "%s: %s", c.name, run.out.c_str());
            }
        }
        return figure;
    }

  private:
    fs::path work_;
    std::string probe_;
};

int Main() {
    if (!Spawn({"strace", "-V"}).Exited(0) || !Spawn({"setpriv", "--version"}).Exited(0)) {
        std::fprintf(stderr, "strace and setpriv (util-linux) are needed\n");
        return 1;
    }
    std::string pattern = (fs::temp_directory_path() / "save_fault_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    const fs::path work = fs::canonical(pattern);
    // The probe must be reachable for the plain user of the permission runs.
    fs::permissions(work, fs::perms(0755));
    const fs::path probe = work / "save_probe";
    fs::copy_file("/proc/self/exe", probe);
    fs::permissions(probe, fs::perms(0755));

    Harness harness(work, probe.string());
    std::vector<Figure> figures;
    const Scenario scenarios[] = {
        {"single fault", Fault::Once, false},
        {"single fault", Fault::Once, true},
        {"lasting fault", Fault::FromThenOn, false},
        {"lasting fault", Fault::FromThenOn, true},
    };
    for (const Scenario& s : scenarios) {
        for (const char* error : {"EIO", "ENOSPC"}) figures.push_back(harness.Inject(s, error));
    }
    for (const bool later : {false, true}) {
        figures.push_back(harness.Inject({"kill", Fault::Kill, later}, nullptr));
    }
    figures.push_back(harness.Order());
    figures.push_back(harness.BackupOnce());
    figures.push_back(harness.Permissions());

    int violations = 0;
    std::printf("| %-40s | %5s | %10s |\n|%s|%s|%s|\n", "scenario", "runs", "violations",
                std::string(42, '-').c_str(), std::string(7, '-').c_str(),
                std::string(12, '-').c_str());
    for (const Figure& f : figures) {
        std::printf("| %-40s | %5d | %10d |\n", f.name.c_str(), f.runs, f.violations);
        violations += f.violations;
    }
    fs::remove_all(work);
    return violations == 0 ? 0 : 1;
}

}  // namespace
}  // namespace quorvel

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "probe") return quorvel::Probe(argv[2], argv[3]);
    return quorvel::Main();
}
