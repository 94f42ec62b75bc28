#pragma once
// What one catalogue slot holds: nothing, a stream a playlist listed there that no pass
// has met yet, or the stream that claimed it.
#include <cstdint>
#include <optional>

#include "engine/codecs.h"
#include "engine/stream_key.h"

namespace qf {

class SlotEntry {
public:
    constexpr SlotEntry() = default; // empty
    constexpr explicit SlotEntry(StreamKey key) : key_(key) {}
    static constexpr SlotEntry listedByPlaylist() {
        SlotEntry e;
        e.listed_ = true;
        return e;
    }

    constexpr bool empty() const { return !key_ && !listed_; }
    constexpr bool listed() const { return listed_; }
    constexpr bool met() const { return key_.has_value(); }
    // The stream that claimed the slot; none while it is empty or only listed.
    constexpr const std::optional<StreamKey>& key() const { return key_; }
    // The codec-table entry of the slot's stream. An empty slot gives kEmptyEntry and a
    // listed one kListedEntry: neither has a codec, a kind name tells them apart.
    constexpr int32_t entry() const {
        return key_ ? entryOf(*key_) : listed_ ? kListedEntry : kEmptyEntry;
    }

    friend constexpr bool operator==(const SlotEntry&, const SlotEntry&) = default;

private:
    static constexpr int32_t kEmptyEntry = -1;
    static constexpr int32_t kListedEntry = 1;
    static_assert(codecOfEntry(kListedEntry) == Codec::None);

    std::optional<StreamKey> key_;
    bool listed_ = false;
};

} // namespace qf
