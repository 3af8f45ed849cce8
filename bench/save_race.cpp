// Two editors saving one file at once, as separate processes over the libraries (no
// window): each round both load the same file, one sets "Masse" to 111, the other to 222,
// and both start their saves together, released by one pipe. A round is sound when a
// question was asked, or when the file ends with the second save's value and that save
// was asked; it is a silent lost update when both saves went through without a question.
//   save_race FOLDER ROUNDS [ja]   (questions answered Nein, or Ja)
// Prints the figures; exits 1 when any round lost an update silently.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchFakes.h"
#include "Commands.h"
#include "Mod_Quorvel.h"

namespace quorvel {
namespace {

using bench::GermanFormat;
using bench::NoDialog;
using bench::NoHost;

struct Answering : MessageSink {
    bool answer = false, asked = false, told = false;
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override { told = true; }
    bool AskYesNo(const std::string&, const std::string&) override {
        asked = true;
        return answer;
    }
};
enum Outcome { kSavedSilently = 0, kAsked = 1, kFailed = 2 };

// One editor: load, wait for the start, set the mass, save.
[[noreturn]] void Editor(const std::string& path, const char* mass, int start, bool yes) {
    GermanFormat format;
    Answering sink;
    sink.answer = yes;
    NoDialog dialog;
    NoHost host;
    Services services{format, sink, dialog, host};
    EditorState state;
    LoadFile(state, services, path);
    char go;
    if (::read(start, &go, 1) != 0) std::_Exit(kFailed);  // the parent closes: end of file
    state.tx_Masse = mass;
    SaveCommand(state, services);
    std::_Exit(sink.asked ? kAsked : sink.told ? kFailed : kSavedSilently);
}

std::string Mass(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const auto at = text.find("Masse ( ");
    return at == std::string::npos ? "?" : text.substr(at + 8, 3);
}

int Run(const std::filesystem::path& folder, int rounds, bool yes) {
    const std::string path = (folder / "Lok.txt").string();
    int silent = 0, asked = 0, failed = 0, both = 0;
    for (int round = 0; round < rounds; ++round) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << "Masse ( 100 ) \r\n";
        std::filesystem::remove(path + "_Orig");
        int start[2];
        if (::pipe(start) != 0) return 2;
        const char* masses[] = {"111", "222"};
        pid_t children[2];
        for (int i = 0; i < 2; ++i) {
            children[i] = ::fork();
            if (children[i] == 0) {
                ::close(start[1]);
                Editor(path, masses[i], start[0], yes);
            }
        }
        ::close(start[0]);
        ::close(start[1]);  // both saves start now
        int outcome[2];
        for (int i = 0; i < 2; ++i) {
            int status = 0;
            ::waitpid(children[i], &status, 0);
            outcome[i] = WIFEXITED(status) ? WEXITSTATUS(status) : kFailed;
        }
        if (outcome[0] == kFailed || outcome[1] == kFailed) {
            ++failed;
        } else if (outcome[0] == kSavedSilently && outcome[1] == kSavedSilently) {
            ++silent;
            std::printf("round %d: both saved without a question, file holds %s\n", round,
                        Mass(path).c_str());
        } else {
            ++asked;
            both += outcome[0] == kAsked && outcome[1] == kAsked;
        }
    }
    std::printf(
        "%d rounds (questions answered %s): %d with a question (%d both asked), %d "
        "silent lost updates, %d failed saves\n",
        rounds, yes ? "Ja" : "Nein", asked, both, silent, failed);
    return silent == 0 && failed == 0 ? 0 : 1;
}

}  // namespace
}  // namespace quorvel

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: save_race FOLDER ROUNDS [ja]\n");
        return 2;
    }
    return quorvel::Run(argv[1], std::atoi(argv[2]), argc > 3 && std::string(argv[3]) == "ja");
}
