#include "C_Name_Val.h"

#include <bit>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>

namespace quorvel {

namespace {

// The kinds a file gives, as the three bits kept beside the value's size.
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
    ::operator delete(slots);
}

// Raw memory: the slots are written before they are read.
Entries::Block Entries::NewBlock(std::size_t block) {
    return Block(static_cast<Slot*>(::operator new(BlockSize(block) * sizeof(Slot))));
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
        blocks_.push_back(NewBlock(block));
        std::memcpy(blocks_.back().get(), other.blocks_[block].get(), count * sizeof(Slot));
        free_ = blocks_.back().get() + count;
        freeEnd_ = blocks_.back().get() + BlockSize(block);
        left -= count;
    }
}

void Entries::Swap(Entries& other) noexcept {
    std::swap(bytes_, other.bytes_);
    std::swap(bytesSize_, other.bytesSize_);
    std::swap(owned_, other.owned_);
    std::swap(blocks_, other.blocks_);
    std::swap(wide_, other.wide_);
    std::swap(size_, other.size_);
    std::swap(free_, other.free_);
    std::swap(freeEnd_, other.freeEnd_);
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

void Entries::PushSlow(const C_Name_Val& entry) {
    // Both looked up before either is copied: a copy may move owned_ under the other.
    Ref name, value;
    const bool nameHeld = Find(entry.Name, name);
    const bool valueHeld = Find(entry.Value, value);
    if (!nameHeld) name = Append(entry.Name);
    if (!valueHeld) value = Append(entry.Value);
    if (free_ == freeEnd_) {
        const std::size_t block = blocks_.size();
        blocks_.push_back(NewBlock(block));
        free_ = blocks_.back().get();
        freeEnd_ = free_ + BlockSize(block);
    }
    Store(size_, name, value, entry.Typ);
    ++free_;
    ++size_;
}

C_Name_Val Entries::DecodeWide(const Slot& slot) const {
    const Wide& wide = wide_[slot.name.at];
    return {Text(wide.name), Text(wide.value), wide.typ};
}

C_Name_Val Entries::operator[](std::size_t index) const {
    return Decode(At(index));
}

void Entries::Seek(const_iterator& at) const {
    if (at.index_ >= size_) {
        at.slot_ = at.blockEnd_ = nullptr;
        return;
    }
    std::size_t block = kGrowingBlocks, offset = at.index_ - kGrowingSlots;
    if (at.index_ < kGrowingSlots) {
        block = static_cast<std::size_t>(std::bit_width(at.index_ / kFirstBlock + 1) - 1);
        offset = at.index_ - kFirstBlock * ((std::size_t{1} << block) - 1);
    } else {
        block += offset / kLastBlock;
        offset %= kLastBlock;
    }
    at.slot_ = blocks_[block].get() + offset;
    at.blockEnd_ = blocks_[block].get() + BlockSize(block);
}

Entries::const_iterator Entries::begin() const {
    const_iterator at;
    at.list_ = this;
    Seek(at);
    return at;
}

Entries::const_iterator Entries::end() const {
    const_iterator at;
    at.list_ = this;
    at.index_ = size_;
    return at;
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
