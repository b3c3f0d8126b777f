#include "core/result.h"

namespace obs_sayline {

std::string Error::toString() const {
    std::string text = "[";
    text += errorCategory(code);
    text += "::";
    text += errorCodeName(code);
    text += "] ";
    text += message;
    return text;
}

namespace detail {

void throwValueOnError(const Error& error) {
    throw std::runtime_error("Attempted to access value on error Result: " + error.toString());
}

void throwErrorOnSuccess() {
    throw std::runtime_error("Attempted to access error on success Result");
}

}  // namespace detail
}  // namespace obs_sayline
