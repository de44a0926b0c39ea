#include "platform/lineinkeys.h"

#include <string>

namespace veruziva {

bool NameHoldsKey(std::string_view lineName, std::span<const std::string_view> keys) {
    std::string upper(lineName);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    for (const std::string_view key : keys) {
        if (upper.find(key) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace veruziva
