#include "engine/slotmap.h"

namespace qf {

void SlotMap::clear() {
    slot_.fill(kNotAsked);
    for (auto& family : held_) family.fill(false);
}

int SlotMap::slotOf(int32_t entry) const {
    if (entry < 0 || entry >= kEntryLimit) return -1;
    const int s = slot_[static_cast<size_t>(entry)];
    return s >= 0 ? s : -1;
}

int SlotMap::claim(int32_t entry, Family family, int ruleSlot) {
    if (entry < 0 || entry >= kEntryLimit) return -1;
    int8_t& known = slot_[static_cast<size_t>(entry)];
    if (known != kNotAsked) return known >= 0 ? known : -1;

    const auto f = static_cast<size_t>(family);
    auto& held = held_[f];
    const int count = kFamilySlots[f];
    int slot = -1;
    if (ruleSlot >= 0 && ruleSlot < count && !held[static_cast<size_t>(ruleSlot)]) {
        slot = ruleSlot;
    } else {
        // The slots with a check box are the lowest ones, so they are searched first.
        for (int k = 0; k < count && slot < 0; ++k)
            if (!held[static_cast<size_t>(k)]) slot = k;
    }
    if (slot < 0) {
        known = kNoSlot;
        return -1;
    }
    held[static_cast<size_t>(slot)] = true;
    known = static_cast<int8_t>(slot);
    return slot;
}

} // namespace qf
