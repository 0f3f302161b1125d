// The host side's one error convention: a value, or one line saying why
// there is none. Functions that yield nothing return a Status.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace sim {

// What a failing function returns, whatever its Result's type.
struct Failure {
    std::string why;
};

inline Failure Fail(std::string why) {
    return Failure{std::move(why)};
}

template <typename T>
class Result {
public:
    Result(T value) : value_(std::move(value)) {}  // NOLINT(google-explicit-constructor)
    Result(Failure failure)
        : why_(std::move(failure.why)) {}  // NOLINT(google-explicit-constructor)

    explicit operator bool() const { return value_.has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    // Why there is no value; empty when there is one.
    const std::string& why() const { return why_; }

private:
    std::optional<T> value_;
    std::string why_;
};

using Status = Result<std::monostate>;
inline Status Ok() {
    return Status(std::monostate{});
}

}  // namespace sim
