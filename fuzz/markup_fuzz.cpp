// Fuzzes the log markup: spans must always lie inside the plain text.
#include <cstdlib>
#include <string_view>

#include "engine/markup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    auto m = qf::parseMarkup(line);
    for (const auto& s : m.spans)
        if (s.start > m.plain.size() || s.length > m.plain.size() - s.start) std::abort();
    (void)qf::HexValue(line);
    if (line.find(qf::kLiteralOpen) == std::string_view::npos &&
        line.find(qf::kLiteralClose) == std::string_view::npos &&
        qf::plainText(qf::escapeMarkup(line)) != line)
        std::abort(); // escaping keeps every character
    return 0;
}
