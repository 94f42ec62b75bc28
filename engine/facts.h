#pragma once
// What a Read job learned of each stream beyond its log lines: the values scripts read.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace qf {

using FactValue = std::variant<double, std::string>;

struct StreamFacts {
    int32_t entry = -1; // catalogue entry of the stream; -1 while none was described
    uint32_t firstPts = 0;
    std::vector<std::pair<std::string, FactValue>> values; // in the order they were found

    // Keeps the first value found under a key: a two-part title reports its streams twice.
    void set(std::string_view key, FactValue v) {
        for (const auto& kv : values)
            if (kv.first == key) return;
        values.emplace_back(std::string(key), std::move(v));
    }
    // The number under `key`, or 0.
    double number(std::string_view key) const {
        for (const auto& [k, v] : values)
            if (k == key && std::holds_alternative<double>(v)) return std::get<double>(v);
        return 0;
    }
};

} // namespace qf
