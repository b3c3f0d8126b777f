#include "net/transport_error.h"

#include <curl/curl.h>

namespace obs_sayline {

namespace {

struct Row {
    int curlCode;
    ErrorCode code;
    const char* text;
};

// Numbers rather than CURLE_ names: some rows are missing from older curl headers.
constexpr Row kRows[] = {
    {5, ErrorCode::ProxyError, "Could not resolve proxy"},
    {6, ErrorCode::DnsError, "Could not resolve host"},
    {7, ErrorCode::ConnectionFailed, "Could not connect to server"},
    {8, ErrorCode::NetworkError, "Unexpected server response"},
    {9, ErrorCode::PermissionDenied, "Remote access denied"},
    {10, ErrorCode::NetworkError, "FTP accept failed"},
    {12, ErrorCode::Timeout, "FTP accept timeout"},
    {18, ErrorCode::NetworkError, "Partial file received"},
    {21, ErrorCode::NetworkError, "Quote command error"},
    {22, ErrorCode::ApiError, "HTTP error returned"},
    {23, ErrorCode::NetworkError, "Write error"},
    {25, ErrorCode::NetworkError, "Upload failed"},
    {26, ErrorCode::NetworkError, "Read error"},
    {27, ErrorCode::InternalError, "Out of memory"},
    {28, ErrorCode::Timeout, "Operation timed out"},
    {35, ErrorCode::SslError, "SSL connection error"},
    {58, ErrorCode::SslError, "SSL certificate problem"},
    {59, ErrorCode::SslError, "SSL cipher error"},
    {60, ErrorCode::SslError, "SSL peer verification failed"},
    {53, ErrorCode::SslError, "SSL engine not found"},
    {54, ErrorCode::SslError, "SSL engine setup failed"},
    {66, ErrorCode::SslError, "SSL engine init failed"},
    {77, ErrorCode::SslError, "SSL CA cert bad file"},
    {80, ErrorCode::SslError, "SSL shutdown failed"},
    {82, ErrorCode::SslError, "SSL CRL bad file"},
    {83, ErrorCode::SslError, "SSL issuer check failed"},
    {90, ErrorCode::SslError, "SSL pinned key mismatch"},
    {91, ErrorCode::SslError, "SSL invalid cert status"},
    {1, ErrorCode::NotSupported, "Unsupported protocol"},
    {3, ErrorCode::InvalidArgument, "Malformed URL"},
    {61, ErrorCode::InvalidResponse, "Bad content encoding"},
    {67, ErrorCode::AuthenticationFailed, "Login denied"},
    {16, ErrorCode::NetworkError, "HTTP/2 error"},
    {92, ErrorCode::NetworkError, "HTTP/2 stream error"},
    {55, ErrorCode::NetworkError, "Send error"},
    {56, ErrorCode::NetworkError, "Receive error"},
    {65, ErrorCode::NetworkError, "Send rewind failed"},
    {97, ErrorCode::ProxyError, "Proxy error"},
    {42, ErrorCode::Cancelled, "Aborted by callback"},
    {52, ErrorCode::NetworkError, "Got nothing from server"},
    {47, ErrorCode::NetworkError, "Too many redirects"},
    {33, ErrorCode::NotSupported, "Range not supported"},
    {43, ErrorCode::InvalidArgument, "Bad function argument"},
    {45, ErrorCode::NetworkError, "Interface bind failed"},
};

}  // namespace

TransportError mapTransportError(int curlCode) {
    for (const Row& row : kRows) {
        if (row.curlCode == curlCode) return {row.code, row.text};
    }
    return {ErrorCode::NetworkError, curl_easy_strerror(static_cast<CURLcode>(curlCode))};
}

}  // namespace obs_sayline
