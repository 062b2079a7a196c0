// SPDX-License-Identifier: GPL-3.0-or-later
// A fixed table of control words found by name, made once and then only
// read: open addressing over a power-of-two array at most half full, with
// FNV-1a of the name as the hash. A reader looks up every control word of a
// file, a hundred thousand rows of a table being millions of them; a table of
// buckets of nodes spent more of Open's time finding them than this does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

namespace rtf::reader {

template <typename T> class WordTable {
public:
    // Where a name comes twice, the first stands.
    void add(std::string_view name, const T &value) {
        if (2 * (count_ + 1) > slots_.size()) grow();
        if (place(name, value)) ++count_;
    }

    const T *find(std::string_view name) const {
        if (slots_.empty()) return nullptr;
        for (std::size_t i = hash(name) & mask();; i = (i + 1) & mask()) {
            const Slot &s = slots_[i];
            if (!s.used) return nullptr;
            if (s.name == name) return &s.value;
        }
    }

private:
    struct Slot {
        std::string_view name;
        T value{};
        bool used = false;
    };

    static std::size_t hash(std::string_view name) {
        std::uint64_t h = 14695981039346656037ull;
        for (const char c : name) {
            h ^= static_cast<unsigned char>(c);
            h *= 1099511628211ull;
        }
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
    std::size_t mask() const { return slots_.size() - 1; }

    // False when the name is there already.
    bool place(std::string_view name, const T &value) {
        for (std::size_t i = hash(name) & mask();; i = (i + 1) & mask()) {
            Slot &s = slots_[i];
            if (!s.used) {
                s = Slot{name, value, true};
                return true;
            }
            if (s.name == name) return false;
        }
    }
    void grow() {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 64 : 2 * old.size(), Slot{});
        for (const Slot &s : old)
            if (s.used) place(s.name, s.value);
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

} // namespace rtf::reader
