#pragma once

#include <stdexcept>
#include <string>

namespace veruziva {

// An error that stops the action that hit it; the application's general error handler
// shows its text in a message box and the program goes on.
class RuntimeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* RangeCheckErrorText = "Range check error";
inline constexpr const char* IntegerOverflowText = "Integer overflow";

class RangeCheckError : public RuntimeError {
public:
    RangeCheckError() : RuntimeError(RangeCheckErrorText) {}
};

class IntegerOverflowError : public RuntimeError {
public:
    IntegerOverflowError() : RuntimeError(IntegerOverflowText) {}
};

}  // namespace veruziva
