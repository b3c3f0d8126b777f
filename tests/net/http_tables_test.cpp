// The fixed tables and small parsers the client uses.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include "net/http_client.h"
#include "net/response_headers.h"
#include "net/transport_error.h"

namespace obs_sayline {
namespace {

TEST(HttpStatusTest, maps_statuses_to_error_codes) {
    EXPECT_EQ(HttpClient::statusToErrorCode(200), ErrorCode::None);
    EXPECT_EQ(HttpClient::statusToErrorCode(299), ErrorCode::None);
    EXPECT_EQ(HttpClient::statusToErrorCode(400), ErrorCode::InvalidArgument);
    EXPECT_EQ(HttpClient::statusToErrorCode(401), ErrorCode::AuthenticationFailed);
    EXPECT_EQ(HttpClient::statusToErrorCode(403), ErrorCode::PermissionDenied);
    EXPECT_EQ(HttpClient::statusToErrorCode(404), ErrorCode::FileNotFound);
    EXPECT_EQ(HttpClient::statusToErrorCode(408), ErrorCode::Timeout);
    EXPECT_EQ(HttpClient::statusToErrorCode(429), ErrorCode::RateLimitExceeded);
    EXPECT_EQ(HttpClient::statusToErrorCode(500), ErrorCode::InternalError);
    EXPECT_EQ(HttpClient::statusToErrorCode(502), ErrorCode::NetworkError);
    EXPECT_EQ(HttpClient::statusToErrorCode(503), ErrorCode::ServiceUnavailable);
    EXPECT_EQ(HttpClient::statusToErrorCode(504), ErrorCode::Timeout);
    EXPECT_EQ(static_cast<int>(HttpClient::statusToErrorCode(302)), 1);
    EXPECT_EQ(static_cast<int>(HttpClient::statusToErrorCode(100)), 1);
    EXPECT_EQ(HttpClient::statusToErrorCode(418), ErrorCode::ApiError);
    EXPECT_EQ(HttpClient::statusToErrorCode(499), ErrorCode::ApiError);
    EXPECT_EQ(HttpClient::statusToErrorCode(501), ErrorCode::NetworkError);
    EXPECT_EQ(HttpClient::statusToErrorCode(599), ErrorCode::NetworkError);
}

TEST(HttpStatusTest, reason_phrases_and_fallback_message) {
    EXPECT_STREQ(HttpClient::statusText(200), "OK");
    EXPECT_STREQ(HttpClient::statusText(418), "I'm a Teapot");
    EXPECT_STREQ(HttpClient::statusText(226), "IM Used");
    EXPECT_STREQ(HttpClient::statusText(511), "Network Authentication Required");
    EXPECT_STREQ(HttpClient::statusText(299), "Unknown Status");
    EXPECT_STREQ(HttpClient::statusText(-1), "Unknown Status");
    EXPECT_EQ(HttpClient::fallbackErrorMessage(502), "HTTP 502: Bad Gateway");
    EXPECT_EQ(HttpClient::fallbackErrorMessage(299), "HTTP 299: Unknown Status");
}

TEST(HttpStatusTest, method_names) {
    EXPECT_STREQ(httpMethodName(HttpMethod::OPTIONS), "OPTIONS");
    EXPECT_STREQ(httpMethodName(static_cast<HttpMethod>(42)), "UNKNOWN");
}

TEST(TransportErrorTest, known_codes_use_their_row_and_others_libcurl_text) {
    TransportError dns = mapTransportError(6);
    EXPECT_EQ(dns.code, ErrorCode::DnsError);
    EXPECT_EQ(dns.text, "Could not resolve host");
    EXPECT_EQ(mapTransportError(42).code, ErrorCode::Cancelled);
    EXPECT_EQ(mapTransportError(60).code, ErrorCode::SslError);
    EXPECT_EQ(mapTransportError(5).code, ErrorCode::ProxyError);
    EXPECT_EQ(mapTransportError(67).code, ErrorCode::AuthenticationFailed);
    EXPECT_EQ(mapTransportError(27).code, ErrorCode::InternalError);
    EXPECT_EQ(mapTransportError(12).code, ErrorCode::Timeout);
    TransportError other = mapTransportError(99);
    EXPECT_EQ(other.code, ErrorCode::NetworkError);
    EXPECT_EQ(other.text, curl_easy_strerror(static_cast<CURLcode>(99)));
}

TEST(ResponseHeaderTest, lower_cases_names_and_keeps_the_later_value) {
    std::map<std::string, std::string> h;
    auto feed = [&](const std::string& line) {
        parseResponseHeaderLine(line.data(), line.size(), h);
    };
    feed("HTTP/1.1 200 OK\r\n");
    feed("Content-Type: text/plain\r\n");
    feed("content-TYPE: \t application/json\r\n");
    feed("X-Empty:\r\n");
    feed("X-Blank:   \r\n");
    feed("X-Colon: a: b\r\n");
    feed("no colon here\r\n");
    feed("\r\n");
    EXPECT_EQ(h.size(), 4u);
    EXPECT_EQ(h.at("content-type"), "application/json");
    EXPECT_EQ(h.at("x-empty"), "");
    EXPECT_EQ(h.at("x-blank"), "   ");
    EXPECT_EQ(h.at("x-colon"), "a: b");
    EXPECT_EQ(h.count("http/1.1 200 ok"), 0u);
}

TEST(UrlEscapeTest, escapes_everything_but_unreserved) {
    EXPECT_EQ(HttpClient::urlEscape("aZ09-._~"), "aZ09-._~");
    EXPECT_EQ(HttpClient::urlEscape("x y"), "x%20y");
    EXPECT_EQ(HttpClient::urlEscape("a+b/c?d=e&f"), "a%2Bb%2Fc%3Fd%3De%26f");
    EXPECT_EQ(HttpClient::urlEscape("\xED\x95\x9C"), "%ED%95%9C");
    EXPECT_EQ(HttpClient::urlEscape(std::string("a\0b", 3)), "a%00b");
    EXPECT_EQ(HttpClient::urlEscape(""), "");
}

}  // namespace
}  // namespace obs_sayline
