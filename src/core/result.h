#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

#include "core/error_code.h"

namespace obs_sayline {

struct Error {
    ErrorCode code = ErrorCode::None;
    std::string message;

    Error() = default;
    Error(ErrorCode c, std::string m) : code(c), message(std::move(m)) {}

    // "[Category::Name] message"
    std::string toString() const;
};

namespace detail {
[[noreturn]] void throwValueOnError(const Error& error);
[[noreturn]] void throwErrorOnSuccess();
}  // namespace detail

// A value or an Error. Callers test before reading; reading the wrong side is a
// programming error and throws.
template <typename T>
class Result {
public:
    Result(const T& value) : data_(std::in_place_index<0>, value) {}
    Result(T&& value) : data_(std::in_place_index<0>, std::move(value)) {}
    Result(ErrorCode code, std::string message)
        : data_(std::in_place_index<1>, code, std::move(message)) {}
    Result(Error error) : data_(std::in_place_index<1>, std::move(error)) {}

    bool isSuccess() const noexcept { return data_.index() == 0; }
    bool isError() const noexcept { return data_.index() == 1; }
    explicit operator bool() const noexcept { return isSuccess(); }

    T& value() & {
        if (isError()) detail::throwValueOnError(std::get<1>(data_));
        return std::get<0>(data_);
    }
    const T& value() const& {
        if (isError()) detail::throwValueOnError(std::get<1>(data_));
        return std::get<0>(data_);
    }
    T&& value() && {
        if (isError()) detail::throwValueOnError(std::get<1>(data_));
        return std::get<0>(std::move(data_));
    }

    Error& error() & {
        if (isSuccess()) detail::throwErrorOnSuccess();
        return std::get<1>(data_);
    }
    const Error& error() const& {
        if (isSuccess()) detail::throwErrorOnSuccess();
        return std::get<1>(data_);
    }

private:
    std::variant<T, Error> data_;
};

// The void form: a success flag and an optional Error.
template <>
class Result<void> {
public:
    Result() : success_(true) {}
    Result(ErrorCode code, std::string message)
        : success_(false), error_(std::in_place, code, std::move(message)) {}
    Result(Error error) : success_(false), error_(std::move(error)) {}

    static Result success() { return Result(); }

    bool isSuccess() const noexcept { return success_; }
    bool isError() const noexcept { return !success_; }
    explicit operator bool() const noexcept { return success_; }

    Error& error() & {
        if (success_ || !error_) detail::throwErrorOnSuccess();
        return *error_;
    }
    const Error& error() const& {
        if (success_ || !error_) detail::throwErrorOnSuccess();
        return *error_;
    }

private:
    bool success_;
    std::optional<Error> error_;
};

using VoidResult = Result<void>;

}  // namespace obs_sayline
