#include "ErrorText.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#include "Texts.h"

namespace quorvel {

#ifdef _WIN32

std::string ErrorText(std::int64_t, std::string systemText, std::string_view) {
    return systemText;
}

#else

namespace {

struct Known {
    int code;
    std::string_view text;
};
// The codes a read or a save can meet.
const Known kTexts[] = {
    {EACCES, texts::kCauseAccessDenied},    {EPERM, texts::kCauseNotPermitted},
    {ENOENT, texts::kCauseNotFound},        {ENOTDIR, texts::kCauseNotAFolder},
    {EISDIR, texts::kCauseIsAFolder},       {EROFS, texts::kCauseReadOnly},
    {ENOSPC, texts::kCauseDiskFull},        {EDQUOT, texts::kCauseQuota},
    {EIO, texts::kCauseInputOutput},        {EFBIG, texts::kCauseFileTooLarge},
    {EOVERFLOW, texts::kCauseFileTooLarge}, {EMFILE, texts::kCauseTooManyOpen},
    {ENFILE, texts::kCauseSystemOpen},      {ENAMETOOLONG, texts::kCauseNameTooLong},
    {ETXTBSY, texts::kCauseFileBusy},       {EBUSY, texts::kCauseBusy},
    {ELOOP, texts::kCauseLinkLoop},         {ENOMEM, texts::kCauseNoMemory},
    {EEXIST, texts::kCauseExists},          {EXDEV, texts::kCauseCrossDevice},
    {EINVAL, texts::kCauseInvalid},         {ENXIO, texts::kCauseNoDevice},
    {ENODEV, texts::kCauseNoDevice},        {ESTALE, texts::kCauseStale},
    {EINTR, texts::kCauseInterrupted},      {EAGAIN, texts::kCauseLocked},
};

}  // namespace

std::string ErrorText(std::int64_t code, std::string systemText, std::string_view path) {
    if (code == ENAMETOOLONG && !path.empty()) {
        // The system says the same for one name beyond its limit and for a whole path.
        std::size_t longest = 0;
        for (std::size_t start = 0, end; start <= path.size(); start = end + 1) {
            end = std::min(path.find('/', start), path.size());
            longest = std::max(longest, end - start);
        }
        if (longest <= NAME_MAX) return std::string(texts::kCausePathTooLong);
    }
    for (const Known& known : kTexts) {
        if (known.code == code) return std::string(known.text);
    }
    return systemText;
}

#endif

}  // namespace quorvel
