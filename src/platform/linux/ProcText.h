#pragma once

// Reading the kernel's text tables under /proc: fields separated by
// spaces or tabs, numbers that must fill their field.

#include <algorithm>
#include <charconv>
#include <string_view>

namespace norvane {

// The next field of `line`, taken off it; empty at the line's end.
inline std::string_view nextField(std::string_view& line) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    const std::size_t end = std::min(line.find_first_of(" \t"), line.size());
    const std::string_view field = line.substr(0, end);
    line.remove_prefix(end);
    return field;
}

// A number in `base` that fills `text`.
template <typename Number> bool parseNumber(std::string_view text, Number& into, int base = 10) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), into, base);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

} // namespace norvane
