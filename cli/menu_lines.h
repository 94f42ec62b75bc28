#pragma once
// titles --menus: the menus of a DVD-Video disc, as lines and as JSON.
#include <nlohmann/json.hpp>
#include <vector>

#include "engine/dvd_menus.h"

namespace qf::cli {

class TerminalHost;

// "Menu vts1:2: title set 1, language unit 1 (en), root, 0:00:00.000, 1 cell, still 5 s",
// then its picture and streams, a line each.
void printMenus(TerminalHost& host, const std::vector<DiscMenu>& menus);

nlohmann::ordered_json menusJson(const std::vector<DiscMenu>& menus);

} // namespace qf::cli
