// Any text typed into a number field: read as a number, then written back in both formats.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "measurement/numberformat.h"
#include "platform/runtimeerror.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    double value = 0;
    try {
        value = veruziva::TextToNumber(text);
    } catch (const veruziva::RangeCheckError&) {
        if (size <= veruziva::TextToNumberMaxLength) {
            __builtin_trap();  // only overlong texts are refused
        }
        return 0;
    }
    if (std::isnan(value) || value < 0) {
        __builtin_trap();  // a number typed is zero or more, never NaN
    }
    for (const std::string_view separator : {".", ","}) {
        const std::string general = veruziva::FormatGeneral(value, separator);
        // What the program writes, it reads back as the same number (scientific notation
        // aside: the exponent's letter is dropped like any other).
        if (std::isfinite(value) && general.find('E') == std::string::npos) {
            const double again = veruziva::TextToNumber(general);
            if (again != value && std::abs(again - value) > 1e-14 * std::abs(value)) {
                __builtin_trap();
            }
        }
        try {
            for (const int decimals : {0, 1, 3}) {
                (void)veruziva::FormatFixed(value, 4, decimals, separator);
            }
        } catch (const veruziva::RuntimeError&) {
            // Values the fixed format cannot show are refused, not mangled.
        }
    }
    return 0;
}
