#pragma once

#include <string>

#include "core/error_code.h"

namespace obs_sayline {

struct TransportError {
    ErrorCode code = ErrorCode::NetworkError;
    std::string text;
};

// The ErrorCode and text for a libcurl result code; codes without a row of their own become
// NetworkError with libcurl's text for the code.
TransportError mapTransportError(int curlCode);

}  // namespace obs_sayline
