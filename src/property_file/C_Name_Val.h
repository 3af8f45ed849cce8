#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// Kinds of entry a property file holds.
namespace typ {
inline constexpr std::int16_t GroupOpen = -1;
inline constexpr std::int16_t GroupClose = -2;
inline constexpr std::int16_t BareName = 0;
inline constexpr std::int16_t Text = 1;
inline constexpr std::int16_t Number = 2;
}  // namespace typ

// One value, group opening or group closing of a property file. Name and Value view
// text held elsewhere: an entry taken from Entries views the list's own text, which
// holds until the list is changed or goes away.
struct C_Name_Val {
    std::string_view Name;
    std::string_view Value;
    std::int16_t Typ = typ::BareName;

    friend bool operator==(const C_Name_Val&, const C_Name_Val&) = default;
};

// The loaded file in file order; only appended to and walked front to back (and a
// value replaced, by the save). The file's bytes are held once: names and values
// that stand in them whole are kept as offsets into them (16 bytes an entry), and
// only other texts are copied, into one growing store of the list's own.
class Entries {
  private:
    // A text: an offset into the file's bytes, or with kOwned set into owned_.
    struct Ref {
        std::uint32_t at = 0;
        std::uint32_t size = 0;
    };
    // One entry in 16 bytes. The kind sits in the top bits of the value's size; an
    // entry that does not fit (a text of 512 MiB or more, an unusual Typ) is kept
    // whole in wide_, and name.at then gives its place there.
    struct Slot {
        Ref name;
        std::uint32_t valueAt = 0;
        std::uint32_t valueSizeKind = 0;
    };

  public:
    // What one entry takes in the list, whatever its texts (those stay in the bytes).
    static constexpr std::size_t kEntrySize = sizeof(Slot);

    Entries() = default;
    Entries(std::initializer_list<C_Name_Val> entries);
    Entries(const Entries& other);
    Entries& operator=(const Entries& other);
    // A moved-from list is empty.
    Entries(Entries&& other) noexcept { Swap(other); }
    Entries& operator=(Entries&& other) noexcept {
        Entries taken(std::move(other));
        Swap(taken);
        return *this;
    }
    ~Entries() = default;

    // Copies the entry's texts unless they already stand in the list's own text.
    // Throws std::length_error when the list's text would reach 2 GiB.
    void push_back(const C_Name_Val& entry) {
        // Inline for what the parser appends: texts in the bytes, a kind of the file.
        std::uint32_t name = 0, value = 0;
        const auto code = static_cast<std::uint32_t>(entry.Typ + 2);  // -2..2 as 0..4
        if (free_ != freeEnd_ && code <= 4 && InBytes(entry.Name, name) &&
            InBytes(entry.Value, value) && entry.Value.size() <= kSizeMask) {
            // The kind's three bits for Typ -2, -1, 0, 1 and 2 (Decode's order).
            constexpr std::uint32_t kCodes = 4 | 3 << 3 | 0 << 6 | 1 << 9 | 2 << 12;
            *free_++ = {{name, static_cast<std::uint32_t>(entry.Name.size())},
                        value,
                        static_cast<std::uint32_t>(entry.Value.size()) | (kCodes >> (3 * code) & 7)
                                                                             << kSizeBits};
            ++size_;
            return;
        }
        PushSlow(entry);
    }
    void clear() { *this = Entries(); }

    // The parser's way to append a file's entries: texts as places in the bytes the list
    // adopted, the kind as the code Decode reads. Close (or the end of the Tail) hands
    // the entries to the list; nothing else may change the list meanwhile.
    class Tail {
      public:
        static constexpr std::uint32_t kText = 1, kNumber = 2, kOpen = 3, kClose = 4;

        explicit Tail(Entries& list) : list_(list) { Open(); }
        Tail(const Tail&) = delete;
        Tail& operator=(const Tail&) = delete;
        ~Tail() { Close(); }

        // Sizes below 512 MiB; the texts stand in the adopted bytes.
        void Put(std::uint32_t nameAt, std::uint32_t nameSize, std::uint32_t valueAt,
                 std::uint32_t valueSize, std::uint32_t code) {
            // As two words: the slot's fields in memory order (little-endian).
            const std::uint64_t words[2] = {
                nameAt | std::uint64_t{nameSize} << 32,
                valueAt | std::uint64_t{valueSize | code << kSizeBits} << 32};
            std::memcpy(at_++, words, sizeof words);
            if (at_ == end_) {
                Close();
                Open();
            }
        }
        // Any entry, its texts copied where they do not stand in the list's text.
        void Push(const C_Name_Val& entry) {
            Close();
            list_.push_back(entry);
            Open();
        }
        void Close() {
            list_.size_ += static_cast<std::size_t>(at_ - list_.free_);
            list_.free_ = at_;
        }

      private:
        // Always room for one more slot.
        void Open() {
            if (list_.free_ == list_.freeEnd_)
                list_.AddBlock(std::clamp(list_.size_ / 8, kMinBlock, kMaxBlock));
            at_ = list_.free_;
            end_ = list_.freeEnd_;
        }
        Entries& list_;
        Slot* at_ = nullptr;
        Slot* end_ = nullptr;
    };

    std::size_t size() const { return size_; }
    // The bytes the texts stand in (the file's and the list's own): about the size
    // of the written file.
    std::size_t TextSize() const { return bytesSize_ + owned_.size(); }
    bool empty() const { return size_ == 0; }
    C_Name_Val operator[](std::size_t index) const;

    // The save's one change: the entry at index takes a new value text.
    void SetValue(std::size_t index, std::string_view value);
    // The same for many entries, which share one stored copy of the text. Throws
    // std::length_error (the list's text would reach 2 GiB) or bad_alloc before any entry
    // changes; indices must be valid.
    void SetValue(const std::vector<std::size_t>& indices, std::string_view value);

    // What roomSize in AdoptText takes for count entries.
    static constexpr std::size_t RoomFor(std::size_t count) {
        return count * sizeof(Slot) + alignof(Slot);
    }

    // Makes bytes the text that later entries view without a copy, and the roomSize
    // bytes at room, inside the block bytes keeps alive, the place of the entries that
    // follow; only while the list holds no text yet (else nothing changes and the result
    // is false). The parser hands over the file.
    bool AdoptText(std::shared_ptr<const char[]> bytes, std::size_t size, char* room = nullptr,
                   std::size_t roomSize = 0);

    // Walks the cells block by block; yields entries by value.
    class const_iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = C_Name_Val;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = C_Name_Val;
        const_iterator() = default;
        C_Name_Val operator*() const { return list_->Decode(*slot_); }
        const_iterator& operator++() {
            ++index_;
            if (++slot_ == blockEnd_) list_->Enter(*this, block_ + 1);
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        std::size_t index() const { return index_; }
        friend bool operator==(const const_iterator& a, const const_iterator& b) {
            return a.index_ == b.index_;
        }

      private:
        friend class Entries;
        const Entries* list_ = nullptr;
        std::size_t index_ = 0;
        std::size_t block_ = 0;
        const Slot* slot_ = nullptr;
        const Slot* blockEnd_ = nullptr;
    };
    const_iterator begin() const;
    const_iterator end() const;

    // Calls f with every entry, first to last: the walk for long lists, which keeps
    // the entry out of memory.
    template <typename F>
    void ForEach(F&& f) const {
        for (std::size_t block = 0; block < blocks_.size(); ++block) {
            const Slot* slot = blocks_[block].cells.get();
            for (const Slot* const end = slot + Used(block); slot != end; ++slot) f(Decode(*slot));
        }
    }

    // Calls fast with every entry, first to last; where it returns false, slow with that
    // entry, then fast again from the next. fast is a copy in a loop of its own that
    // makes no call, so that its state stays in registers; it is copied back before
    // slow is called.
    template <typename Fast, typename Slow>
    void ForEach(Fast& fast, Slow&& slow) const {
        for (std::size_t block = 0; block < blocks_.size(); ++block) {
            const Slot* slot = blocks_[block].cells.get();
            const Slot* const end = slot + Used(block);
            while (slot != end) {
                slot = FastRun(slot, end, bytes_.get(), owned_.data(), fast);
                if (slot == end) break;
                slow(Decode(*slot));
                ++slot;
            }
        }
    }

    // Room for at least count more entries in one block, so that a file's entries
    // need not grow block by block.
    void Reserve(std::size_t count);

    friend bool operator==(const Entries& a, const Entries& b);

  private:
    struct Wide {
        Ref name;
        Ref value;
        std::int16_t typ = typ::BareName;
    };
    struct FreeSlots {
        bool owned = true;  // else the slots lie in the bytes' block
        void operator()(Slot* cells) const;
    };
    // Slots in blocks that never move: no copy and no doubled peak while a large
    // file is read. first is the index of the block's first entry.
    struct Block {
        std::unique_ptr<Slot[], FreeSlots> cells;
        std::size_t first = 0;
    };
    void AddBlock(std::size_t capacity);
    // Makes cells the last block, with room for capacity entries; owned: freed with it.
    void PlaceBlock(Slot* cells, std::size_t capacity, bool owned);
    std::size_t Used(std::size_t block) const {
        return (block + 1 < blocks_.size() ? blocks_[block + 1].first : size_) -
               blocks_[block].first;
    }

    // A block added when the last is full: an eighth of the entries so far, so that
    // the room left over stays small, within these bounds.
    static constexpr std::size_t kMinBlock = 1024;
    static constexpr std::size_t kMaxBlock = 65536;
    static constexpr std::uint32_t kOwned = 0x80000000u;
    static constexpr std::uint32_t kSizeBits = 29;
    static constexpr std::uint32_t kSizeMask = (1u << kSizeBits) - 1;

    bool Find(std::string_view text, Ref& ref) const;  // a text the list already holds
    bool InBytes(std::string_view text, std::uint32_t& at) const {
        const auto offset = reinterpret_cast<std::uintptr_t>(text.data()) -
                            reinterpret_cast<std::uintptr_t>(bytes_.get());
        if (text.empty()) {
            at = 0;
            return true;
        }
        at = static_cast<std::uint32_t>(offset);
        return offset <= bytesSize_ && text.size() <= bytesSize_ - offset;
    }
    void Swap(Entries& other) noexcept;
    Ref Append(std::string_view text);
    std::string_view Text(Ref ref) const {
        if (ref.size == 0) return {};
        return {(ref.at & kOwned) != 0 ? owned_.data() + (ref.at & ~kOwned) : bytes_.get() + ref.at,
                ref.size};
    }
    // The same without the test for an empty text, whose place too lies within the text
    // it names (at 0 in the bytes, or at the end of the list's own text), from bases
    // kept in registers.
    static std::string_view PlaceIn(Ref ref, const char* bytes, const char* owned) {
        return {(ref.at & kOwned) != 0 ? owned + (ref.at & ~kOwned) : bytes + ref.at, ref.size};
    }
    // The Typ of a code up to 4: 0, 1 and 2 are themselves, 3 and 4 are -1 and -2. Computed
    // rather than looked up, so that a branch on it need not wait for a load.
    static std::int16_t KindOf(std::uint32_t code) {
        return static_cast<std::int16_t>(code <= 2 ? code : 2 - static_cast<std::int32_t>(code));
    }
    // The code of a Typ: the one KindOf turns into it, else the code of a wide entry.
    static std::uint32_t CodeOf(std::int16_t typ);
    C_Name_Val Decode(const Slot& slot) const {
        const std::uint32_t code = slot.valueSizeKind >> kSizeBits;
        if (code > 4) return DecodeWide(slot);
        return {Text(slot.name), Text({slot.valueAt, slot.valueSizeKind & kSizeMask}),
                KindOf(code)};
    }
    C_Name_Val DecodeWide(const Slot& slot) const;
    // The run of ForEach's fast calls from slot on; where it stopped.
    template <typename Fast>
    [[gnu::noinline]] static const Slot* FastRun(const Slot* slot, const Slot* const end,
                                                 const char* const bytes, const char* const owned,
                                                 Fast& fast) {
        Fast local = fast;
        for (; slot != end; ++slot) {
            const std::uint32_t code = slot->valueSizeKind >> kSizeBits;
            if (code > 4) break;
            const Ref value{slot->valueAt, slot->valueSizeKind & kSizeMask};
            if (!local(C_Name_Val{PlaceIn(slot->name, bytes, owned), PlaceIn(value, bytes, owned),
                                  KindOf(code)}))
                break;
        }
        fast = local;
        return slot;
    }
    void Enter(const_iterator& at, std::size_t block) const;  // at block's first entry
    void Store(std::size_t index, Ref name, Ref value, std::int16_t typ);
    Slot& At(std::size_t index) const;
    void PushSlow(const C_Name_Val& entry);

    std::shared_ptr<const char[]> bytes_;  // the file as read, never changed
    std::size_t bytesSize_ = 0;
    std::string owned_;
    std::vector<Block> blocks_;
    std::vector<Wide> wide_;
    std::size_t size_ = 0;
    // The free part of the last block: where push_back writes without looking up.
    Slot* free_ = nullptr;
    Slot* freeEnd_ = nullptr;
};

// What reading learns about the vehicle: owned by the caller, filled by ReadEntries.
struct Vehicle {
    bool HasMotor = false;       // only ever set to true by reading
    std::int32_t GearCount = 0;  // restarted at 0 by each read
};

}  // namespace quorvel
