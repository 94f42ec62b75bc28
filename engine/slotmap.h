#pragma once
// Which slot each stream has for the length of a job, so that every pass, part and job
// gives a stream the same slot, and no two streams share one.
#include <array>
#include <cstddef>
#include <cstdint>

namespace qf {

enum class Family : uint8_t { Video, Audio, Subpicture };
inline constexpr std::array<Family, 3> kFamilies = {Family::Video, Family::Audio,
                                                    Family::Subpicture};
// Where a family's row is in tables kept by family.
constexpr size_t familyIndex(Family f) {
    return static_cast<size_t>(f);
}

// A stream's slot: its family and its index there.
struct SlotRef {
    Family family = Family::Video;
    int index = 0;
};

// Slots of each family, and how many of them (the first ones) have a check box.
inline constexpr int kFamilySlots[3] = {2, 16, 32};
inline constexpr int kSelectableSlots[3] = {2, 16, 16};

// Catalogue entries lie below this.
inline constexpr int32_t kEntryLimit = 0x200;

class SlotMap {
public:
    SlotMap() { clear(); }
    void clear();

    // The slot of the stream with catalogue entry `entry`, given the first time it is asked
    // for: `ruleSlot` (what its id's index rule gives) while no other stream holds it, else
    // the lowest free slot of the family, those with a check box first. -1 when the family
    // has no free slot; the stream then never gets one in this job.
    int claim(int32_t entry, Family family, int ruleSlot);
    // The slot given to `entry`, or -1.
    int slotOf(int32_t entry) const;
    // Was `entry` met and refused a slot (its family was full)?
    bool refused(int32_t entry) const {
        return entry >= 0 && entry < kEntryLimit && slot_[static_cast<size_t>(entry)] == kNoSlot;
    }

private:
    static constexpr int8_t kNotAsked = -1, kNoSlot = -2;
    std::array<int8_t, kEntryLimit> slot_;
    std::array<std::array<bool, 32>, 3> held_;
};

} // namespace qf
