#include "C_Name_Val.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <new>
#include <stdexcept>

namespace quorvel {

namespace {

// The code of a kind no file gives: its entry is kept whole, beside the slots.
constexpr std::uint32_t kWide = 7;

// The list's text is addressed with 31 bits.
constexpr std::size_t kMaxText = 0x7FFFFFFFu;

}  // namespace

void Entries::FreeSlots::operator()(Slot* cells) const {
    if (owned) ::operator delete(cells);
}

// Raw memory: the cells are written before they are read.
void Entries::AddBlock(std::size_t capacity) {
    PlaceBlock(static_cast<Slot*>(::operator new(capacity * sizeof(Slot))), capacity, true);
}

void Entries::PlaceBlock(Slot* cells, std::size_t capacity, bool owned) {
    Block block{std::unique_ptr<Slot[], FreeSlots>(cells, FreeSlots{owned}), size_};
    blocks_.push_back(std::move(block));  // should this throw, block frees owned cells
    free_ = cells;
    freeEnd_ = cells + capacity;
}

void Entries::Reserve(std::size_t count) {
    if (static_cast<std::size_t>(freeEnd_ - free_) < count) AddBlock(count);
}

Entries::Entries(std::initializer_list<C_Name_Val> entries) {
    for (const C_Name_Val& entry : entries) push_back(entry);
}

// The copy holds its entries in one block.
Entries::Entries(const Entries& other)
    : bytes_(other.bytes_), bytesSize_(other.bytesSize_), owned_(other.owned_), wide_(other.wide_) {
    if (other.size_ == 0) return;
    AddBlock(other.size_);
    for (std::size_t block = 0; block < other.blocks_.size(); ++block) {
        const std::size_t used = other.Used(block);
        if (used > 0) std::memcpy(free_, other.blocks_[block].cells.get(), used * sizeof(Slot));
        free_ += used;
    }
    size_ = other.size_;
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

bool Entries::AdoptText(std::shared_ptr<const char[]> bytes, std::size_t size, char* room,
                        std::size_t roomSize) {
    if (bytes_ != nullptr) return false;
    if (size > kMaxText) throw std::length_error("property file too large");
    bytes_ = std::move(bytes);
    bytesSize_ = size;
    void* place = room;
    if (room == nullptr || std::align(alignof(Slot), sizeof(Slot), place, roomSize) == nullptr)
        return true;
    // The slots are written before they are read, as in AddBlock.
    PlaceBlock(static_cast<Slot*>(place), roomSize / sizeof(Slot), false);
    return true;
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
    // The last block whose first entry is not after index.
    const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), index,
                                        [](std::size_t i, const Block& b) { return i < b.first; });
    const Block& block = *std::prev(after);
    return block.cells[index - block.first];
}

void Entries::Store(std::size_t index, Ref name, Ref value, std::int16_t typ) {
    const std::uint32_t code = CodeOf(typ);
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
    if (free_ == freeEnd_) AddBlock(std::clamp(size_ / 8, kMinBlock, kMaxBlock));
    Store(size_, name, value, entry.Typ);
    ++free_;
    ++size_;
}

std::uint32_t Entries::CodeOf(std::int16_t typ) {
    for (std::uint32_t code = 0; code <= 4; ++code)
        if (KindOf(code) == typ) return code;
    return kWide;
}

C_Name_Val Entries::DecodeWide(const Slot& slot) const {
    const Wide& wide = wide_[slot.name.at];
    return {Text(wide.name), Text(wide.value), wide.typ};
}

C_Name_Val Entries::operator[](std::size_t index) const {
    return Decode(At(index));
}

void Entries::Enter(const_iterator& at, std::size_t block) const {
    while (block < blocks_.size() && Used(block) == 0) ++block;
    at.block_ = block;
    if (block == blocks_.size()) {
        at.slot_ = at.blockEnd_ = nullptr;
        return;
    }
    at.slot_ = blocks_[block].cells.get();
    at.blockEnd_ = at.slot_ + Used(block);
}

Entries::const_iterator Entries::begin() const {
    const_iterator at;
    at.list_ = this;
    Enter(at, 0);
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

void Entries::SetValue(const std::vector<std::size_t>& indices, std::string_view value) {
    std::vector<std::size_t> changing;
    std::size_t wide = 0;
    for (const std::size_t index : indices) {
        const Slot& slot = At(index);
        if (Decode(slot).Value == value) continue;  // repeated saves do not grow the list
        changing.push_back(index);
        wide += (slot.valueSizeKind >> kSizeBits) == kWide || value.size() > kSizeMask;
    }
    if (changing.empty()) return;
    Ref text;
    if (!Find(value, text)) text = Append(value);
    wide_.reserve(wide_.size() + wide);  // nothing below allocates
    for (const std::size_t index : changing) {
        const Slot& slot = At(index);
        const bool isWide = (slot.valueSizeKind >> kSizeBits) == kWide;
        const Ref name = isWide ? wide_[slot.name.at].name : slot.name;
        Store(index, name, text, isWide ? wide_[slot.name.at].typ : Decode(slot).Typ);
    }
}

bool operator==(const Entries& a, const Entries& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

}  // namespace quorvel
