#pragma once

#include <cstddef>
#include <string_view>

namespace veruziva {

// An entry's place in a table of descriptors named by their `id`; the table's size when no
// entry has that id.
template <typename Entry, std::size_t Size>
constexpr std::size_t IndexById(const Entry (&table)[Size], std::string_view id) {
    std::size_t i = 0;
    while (i < Size && table[i].id != id) {
        ++i;
    }
    return i;
}

}  // namespace veruziva
