#pragma once
// The menus of a DVD-Video disc: the program chains of the video manager's menu domain
// (VIDEO_TS.VOB) and of each title set's (VTS_nn_0.VOB), as their IFO files list them.
#include <optional>
#include <string>
#include <vector>

#include "engine/dvd_disc.h"

namespace qf {

// What a menu chain stands for, from its entry id; None for a chain no button leads to
// from outside the domain.
enum class MenuEntry : uint8_t { None, Title = 2, Root, Subpicture, Audio, Angle, Chapter };
// "root", "title", "audio", "subpicture", "angle", "chapter"; "" for None.
const char* menuEntryName(MenuEntry entry);

struct DiscMenu {
    int titleSet = 0;     // 0: the video manager's menus
    int languageUnit = 1; // from 1
    std::string language; // the unit's ISO 639-1 code, "" when none is set
    int number = 0;       // the chain, from 1 within its language unit
    MenuEntry entry = MenuEntry::None;
    double length = 0; // seconds, as the chain says
    int still = 0;     // seconds the chain's end is held; kStillForever: until the user goes on
    std::vector<DiscCell> cells;
    DiscVideo video;
    std::vector<DiscStream> streams;

    // "vmg:2", "vts1:3": as --menu names it.
    std::string name() const;
};

// A menu named as --menu takes it: vmg:N or vtsT:N (N from 1, T 1-99); nullopt otherwise.
struct MenuRef {
    int titleSet = 0, number = 0;
};
std::optional<MenuRef> parseMenuRef(const std::string& text);

// The menus of a disc, read in a child process as the titles are. Throws as
// readDiscTitles.
std::vector<DiscMenu> readDiscMenus(const DiscSource& source);

// The chain of the first language unit `ref` names; nullptr when there is none.
const DiscMenu* findMenu(const std::vector<DiscMenu>& menus, const MenuRef& ref);

} // namespace qf
