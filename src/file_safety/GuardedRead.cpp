#include "GuardedRead.h"

#include "Mod_Datei.h"
#include "Mod_Quorvel.h"
#include "SizeLimits.h"
#include "Texts.h"

namespace quorvel {

namespace {

class MemoryAndIdentity final : public ReadGuard {
  public:
    MemoryAndIdentity(const std::string& path, MessageSink& sink, FileIdentity* identity)
        : path_(path), sink_(sink), identity_(identity) {}

    bool Fits(std::uint64_t need, std::uint64_t taken, std::uint64_t upTo) override {
        return FitsInMemory(need, taken, path_, sink_, upTo);
    }
    // Asking the system costs more than reading a file that any machine can take.
    bool MayNotFit(std::uint64_t need) override {
        return need > kSurelyAvailable && need > AvailableMemory();
    }
    // A file whose identity the system cannot tell is not taken: a later save could not
    // see whether another program changed it meanwhile.
    bool Read(std::FILE* file, std::string_view bytes) override {
        if (identity_ == nullptr) return true;
        bool failed = false;
        *identity_ = IdentifyOpenFile(file, path_, bytes, &failed);
        if (!failed) return true;
        ShowFileError(sink_, texts::kReadFailed, path_, LastSystemError());
        return false;
    }

  private:
    const std::string& path_;
    MessageSink& sink_;
    FileIdentity* identity_;
};

}  // namespace

bool ReadEntriesGuarded(const std::string& path, Entries& list, Vehicle& vehicle,
                        const NumberFormat& format, MessageSink& sink, FileIdentity* identity,
                        std::string_view* bytesRead) {
    MemoryAndIdentity guard(path, sink, identity);
    return ReadEntries(path, list, vehicle, format, sink, &guard, bytesRead);
}

}  // namespace quorvel
