#include "C_Name_Val.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>

namespace quorvel {

namespace {

// The slots grow in blocks that never move: no copy and no doubled peak while a
// large file is read, and little room left over at the end of a small one.
constexpr std::size_t kFirstBlock = 1024;
constexpr std::size_t kLastBlock = 65536;
constexpr std::size_t kGrowingBlocks = 7;  // 1024 << 6 == 65536
constexpr std::size_t kGrowingSlots = kFirstBlock * ((std::size_t{1} << kGrowingBlocks) - 1);

std::size_t BlockSize(std::size_t block) {
    return block < kGrowingBlocks ? kFirstBlock << block : kLastBlock;
}

std::size_t Capacity(std::size_t blocks) {
    return blocks <= kGrowingBlocks ? kFirstBlock * ((std::size_t{1} << blocks) - 1)
                                    : kGrowingSlots + (blocks - kGrowingBlocks) * kLastBlock;
}

// The kinds a file gives, as the three bits kept beside the value's size.
constexpr std::uint32_t kSizeBits = 29;
constexpr std::uint32_t kSizeMask = (1u << kSizeBits) - 1;
constexpr std::uint32_t kWide = 7;
constexpr std::int16_t kKinds[] = {typ::BareName, typ::Text, typ::Number, typ::GroupOpen,
                                   typ::GroupClose};

std::uint32_t KindCode(std::int16_t typ) {
    for (std::uint32_t code = 0; code < std::size(kKinds); ++code)
        if (kKinds[code] == typ) return code;
    return kWide;
}

// The list's text is addressed with 31 bits.
constexpr std::size_t kMaxText = 0x7FFFFFFFu;

}  // namespace

void Entries::FreeSlots::operator()(Slot* slots) const {
    std::free(slots);
}

Entries::Entries(std::initializer_list<C_Name_Val> entries) {
    for (const C_Name_Val& entry : entries) push_back(entry);
}

Entries::Entries(const Entries& other)
    : bytes_(other.bytes_),
      bytesSize_(other.bytesSize_),
      owned_(other.owned_),
      wide_(other.wide_),
      size_(other.size_) {
    std::size_t left = size_;
    for (std::size_t block = 0; left > 0; ++block) {
        const std::size_t count = std::min(left, BlockSize(block));
        blocks_.emplace_back(static_cast<Slot*>(std::malloc(BlockSize(block) * sizeof(Slot))));
        if (!blocks_.back()) throw std::bad_alloc();
        std::memcpy(blocks_.back().get(), other.blocks_[block].get(), count * sizeof(Slot));
        left -= count;
    }
}

Entries& Entries::operator=(const Entries& other) {
    if (this != &other) *this = Entries(other);
    return *this;
}

void Entries::AdoptText(std::shared_ptr<const char[]> bytes, std::size_t size) {
    if (bytes_ != nullptr) return;
    if (size > kMaxText) throw std::length_error("property file too large");
    bytes_ = std::move(bytes);
    bytesSize_ = size;
}

bool Entries::Find(std::string_view text, Ref& ref) const {
    const std::less<const char*> before;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (text.empty()) {
        ref = {};
    } else if (bytes_ != nullptr && !before(begin, bytes_.get()) &&
               !before(bytes_.get() + bytesSize_, end)) {
        ref = {static_cast<std::uint32_t>(begin - bytes_.get()),
               static_cast<std::uint32_t>(text.size())};
    } else if (!owned_.empty() && !before(begin, owned_.data()) &&
               !before(owned_.data() + owned_.size(), end)) {
        ref = {kOwned | static_cast<std::uint32_t>(begin - owned_.data()),
               static_cast<std::uint32_t>(text.size())};
    } else {
        return false;
    }
    return true;
}

Entries::Ref Entries::Append(std::string_view text) {
    if (text.size() > kMaxText - owned_.size())
        throw std::length_error("property file text too large");
    const auto at = static_cast<std::uint32_t>(owned_.size());
    owned_.append(text);
    return {kOwned | at, static_cast<std::uint32_t>(text.size())};
}

Entries::Slot& Entries::At(std::size_t index) const {
    if (index < kGrowingSlots) {
        const auto block = static_cast<std::size_t>(std::bit_width(index / kFirstBlock + 1) - 1);
        return blocks_[block][index - kFirstBlock * ((std::size_t{1} << block) - 1)];
    }
    const std::size_t rest = index - kGrowingSlots;
    return blocks_[kGrowingBlocks + rest / kLastBlock][rest % kLastBlock];
}

void Entries::Store(std::size_t index, Ref name, Ref value, std::int16_t typ) {
    const std::uint32_t code = KindCode(typ);
    Slot& slot = At(index);
    if (code != kWide && value.size <= kSizeMask) {
        slot = {name, value.at, value.size | code << kSizeBits};
    } else {
        slot = {{static_cast<std::uint32_t>(wide_.size()), 0}, 0, kWide << kSizeBits};
        wide_.push_back({name, value, typ});
    }
}

void Entries::push_back(const C_Name_Val& entry) {
    // Both looked up before either is copied: a copy may move owned_ under the other.
    Ref name, value;
    const bool nameHeld = Find(entry.Name, name);
    const bool valueHeld = Find(entry.Value, value);
    if (!nameHeld) name = Append(entry.Name);
    if (!valueHeld) value = Append(entry.Value);
    if (size_ == Capacity(blocks_.size())) {
        blocks_.reserve(blocks_.size() + 1);
        Block block(static_cast<Slot*>(std::malloc(BlockSize(blocks_.size()) * sizeof(Slot))));
        if (!block) throw std::bad_alloc();
        blocks_.push_back(std::move(block));
    }
    Store(size_, name, value, entry.Typ);
    ++size_;
}

C_Name_Val Entries::operator[](std::size_t index) const {
    const Slot& slot = At(index);
    const std::uint32_t code = slot.valueSizeKind >> kSizeBits;
    if (code == kWide) {
        const Wide& wide = wide_[slot.name.at];
        return {Text(wide.name), Text(wide.value), wide.typ};
    }
    return {Text(slot.name), Text({slot.valueAt, slot.valueSizeKind & kSizeMask}), kKinds[code]};
}

void Entries::SetValue(std::size_t index, std::string_view value) {
    const C_Name_Val entry = (*this)[index];
    if (entry.Value == value) return;  // repeated saves do not grow the list
    const Slot& slot = At(index);
    const Ref name =
        (slot.valueSizeKind >> kSizeBits) == kWide ? wide_[slot.name.at].name : slot.name;
    Ref text;
    if (!Find(value, text)) text = Append(value);
    Store(index, name, text, entry.Typ);
}

bool operator==(const Entries& a, const Entries& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

}  // namespace quorvel
