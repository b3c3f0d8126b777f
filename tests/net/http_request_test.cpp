// What one transfer puts on the wire and what it reads back, checked against a real server.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "net/http_client.h"
#include "net_test_support.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;
using test::LoopbackServer;
using test::RecordedRequest;

class HttpRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostLogCapture::instance().clear();
        server.on("GET", "/redirect/(\\d+)",
                  [this](const httplib::Request& req, httplib::Response& res) {
                      int n = std::stoi(req.matches[1]);
                      res.set_redirect(n > 0 ? server.url("/redirect/" + std::to_string(n - 1))
                                             : server.url("/landed"),
                                       302);
                  });
        server.on("GET", "/status/(\\d+)", [](const httplib::Request& req, httplib::Response& res) {
            res.status = std::stoi(req.matches[1]);
            res.set_content("status body", "text/plain");
        });
        server.onAny([](const httplib::Request& req, httplib::Response& res) {
            res.set_header("X-Echo-Method", req.method);
            res.set_content("{\"ok\":true}", "application/json");
        });
        ASSERT_TRUE(server.start());
    }

    HttpRequest request(const std::string& path, HttpMethod method = HttpMethod::GET) {
        HttpRequest r;
        r.url = server.url(path);
        r.method = method;
        return r;
    }

    LoopbackServer server;
    HttpClient client{test::fastConfig()};
};

TEST_F(HttpRequestTest, every_method_arrives_with_its_name_and_body) {
    const std::vector<std::pair<HttpMethod, std::string>> methods = {
        {HttpMethod::GET, "GET"},        {HttpMethod::POST, "POST"},   {HttpMethod::PUT, "PUT"},
        {HttpMethod::DELETE, "DELETE"},  {HttpMethod::PATCH, "PATCH"}, {HttpMethod::HEAD, "HEAD"},
        {HttpMethod::OPTIONS, "OPTIONS"}};
    for (const auto& [method, name] : methods) {
        SCOPED_TRACE(name);
        server.clearRequests();
        HttpRequest r = request("/m", method);
        const bool sendsBody =
            method == HttpMethod::POST || method == HttpMethod::PUT || method == HttpMethod::PATCH;
        if (sendsBody) r.body = "payload-" + name;
        auto result = client.execute(r);
        ASSERT_TRUE(result.isSuccess()) << result.error().toString();
        EXPECT_EQ(result.value().statusCode, 200);
        RecordedRequest got = server.lastRequest();
        EXPECT_EQ(got.method, name);
        if (sendsBody) {
            EXPECT_EQ(got.body, "payload-" + name);
        }
        if (method == HttpMethod::HEAD) {
            EXPECT_TRUE(result.value().body.empty());
        } else {
            EXPECT_EQ(result.value().body, "{\"ok\":true}");
        }
    }
}

TEST_F(HttpRequestTest, post_without_body_sends_empty_content) {
    auto result = client.execute(request("/empty", HttpMethod::POST));
    ASSERT_TRUE(result.isSuccess());
    RecordedRequest got = server.lastRequest();
    EXPECT_EQ(got.method, "POST");
    EXPECT_EQ(got.header("Content-Length"), "0");
    EXPECT_TRUE(got.body.empty());
}

TEST_F(HttpRequestTest, binary_body_is_sent_whole) {
    HttpRequest r = request("/bin", HttpMethod::POST);
    r.body = std::string("a\0b\0\xff", 5);
    ASSERT_TRUE(client.execute(r).isSuccess());
    EXPECT_EQ(server.lastRequest().body, r.body);
}

TEST_F(HttpRequestTest, query_parameters_are_escaped_in_name_order) {
    HttpRequest r = request("/q");
    r.queryParams = {{"b", "x y"}, {"a", "1"}, {"k&=", "\xC3\xA9/?"}};
    ASSERT_TRUE(client.execute(r).isSuccess());
    RecordedRequest got = server.lastRequest();
    EXPECT_EQ(got.query, "a=1&b=x%20y&k%26%3D=%C3%A9%2F%3F");
    EXPECT_EQ(got.param("b"), "x y");
    EXPECT_EQ(got.param("k&="), "\xC3\xA9/?");

    HttpRequest withQuestionMark = request("/q?model=nova");
    withQuestionMark.queryParams = {{"b", "x y"}, {"a", "1"}};
    ASSERT_TRUE(client.execute(withQuestionMark).isSuccess());
    EXPECT_EQ(server.lastRequest().query, "model=nova&a=1&b=x%20y");
}

TEST_F(HttpRequestTest, headers_are_sanitised_defaults_first_and_user_agent_set) {
    HttpClientConfig config = test::fastConfig();
    config.userAgent = "obs-sayline/1.0 (Test)";
    config.defaultHeaders = {{"X-Default", "d"}, {"X-Both", "from-default"}};
    HttpClient custom(config);
    HttpRequest r = request("/h");
    r.setHeader("X-Trailing", "abc\r\n ").setHeader("X-Split", "a\nb");
    r.setHeader("X-Both", "from-request").setHeader("X-Tabs", "v \t");
    ASSERT_TRUE(custom.execute(r).isSuccess());
    RecordedRequest got = server.lastRequest();
    EXPECT_EQ(got.header("X-Trailing"), "abc");
    EXPECT_EQ(got.header("X-Split"), "ab");
    EXPECT_EQ(got.header("X-Tabs"), "v");
    EXPECT_EQ(got.header("X-Default"), "d");
    EXPECT_EQ(got.header("User-Agent"), "obs-sayline/1.0 (Test)");
    // A name in both maps is sent twice, the client default first.
    ASSERT_EQ(got.headerCount("X-Both"), 2u);
    std::vector<std::string> both;
    for (const auto& [name, value] : got.headers) {
        if (name == "X-Both") both.push_back(value);
    }
    EXPECT_EQ(both, (std::vector<std::string>{"from-default", "from-request"}));
    EXPECT_FALSE(got.hasHeader("Expect"));
}

TEST_F(HttpRequestTest, multipart_parts_arrive_in_order_with_exact_bytes) {
    const std::vector<uint8_t> audio = {'R', 'I', 'F', 'F', 0x00, 0x01, 0xFF, 0x00, 'x'};
    HttpRequest r = request("/upload", HttpMethod::GET);  // multipart makes it a POST
    r.addTextField("model", "whisper-1")
        .addFileField("file", "audio.wav", audio, "audio/wav")
        .addTextField("language", "ko");
    r.body = "ignored";
    auto result = client.execute(r);
    ASSERT_TRUE(result.isSuccess());
    RecordedRequest got = server.lastRequest();
    EXPECT_EQ(got.method, "POST");
    EXPECT_NE(got.header("Content-Type").find("multipart/form-data; boundary="), std::string::npos);
    EXPECT_FALSE(got.hasHeader("Expect"));
    ASSERT_EQ(got.parts.size(), 3u);
    EXPECT_EQ(got.parts[0].name, "model");
    EXPECT_EQ(got.parts[0].content, "whisper-1");
    EXPECT_TRUE(got.parts[0].filename.empty());
    EXPECT_EQ(got.parts[1].name, "file");
    EXPECT_EQ(got.parts[1].filename, "audio.wav");
    EXPECT_EQ(got.parts[1].contentType, "audio/wav");
    EXPECT_EQ(got.parts[1].content, std::string(audio.begin(), audio.end()));
    EXPECT_EQ(got.parts[2].name, "language");
    EXPECT_EQ(got.parts[2].content, "ko");
}

TEST_F(HttpRequestTest, response_records_status_headers_and_lengths) {
    HttpRequest r = request("/status/418");
    r.requestId = "fixed-id";
    r.tag = "unit";
    auto result = client.execute(r);
    ASSERT_TRUE(result.isSuccess());
    const HttpResponse& res = result.value();
    EXPECT_EQ(res.statusCode, 418);
    EXPECT_FALSE(res.isSuccess());
    EXPECT_EQ(res.body, "status body");
    EXPECT_EQ(res.contentType, "text/plain");
    EXPECT_EQ(res.contentLength, 11);
    EXPECT_EQ(res.headers.at("content-type"), "text/plain");
    EXPECT_EQ(res.headers.at("content-length"), "11");
    EXPECT_EQ(res.attempt, 1);
    EXPECT_EQ(res.requestId, "fixed-id");
    EXPECT_EQ(res.tag, "unit");
    EXPECT_EQ(res.effectiveUrl, server.url("/status/418"));
    EXPECT_GE(res.totalTimeMs, 0);
    EXPECT_EQ(res.transferTimeMs, res.totalTimeMs - res.connectTimeMs);
    EXPECT_TRUE(
        HostLogCapture::instance().contains("[obs-sayline] [HTTP] 418 I'm a Teapot [fixed-id] " +
                                            std::to_string(res.totalTimeMs) + "ms 11B"));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [HTTP] GET " + server.url("/status/418") + " [fixed-id] attempt=1"));
}

TEST_F(HttpRequestTest, error_statuses_are_responses_not_failures) {
    for (int status : {400, 401, 404, 500, 599}) {
        SCOPED_TRACE(status);
        HttpRequest r = request("/status/" + std::to_string(status));
        r.retryPolicy = test::fastPolicy(0);
        auto result = client.execute(r);
        ASSERT_TRUE(result.isSuccess());
        EXPECT_EQ(result.value().statusCode, status);
    }
}

TEST_F(HttpRequestTest, redirects_are_followed_up_to_the_limit) {
    HttpRequest r = request("/redirect/2");
    auto followed = client.execute(r);
    ASSERT_TRUE(followed.isSuccess());
    EXPECT_EQ(followed.value().statusCode, 200);
    EXPECT_EQ(followed.value().effectiveUrl, server.url("/landed"));

    r.maxRedirects = 2;  // three hops needed
    r.retryPolicy = test::fastPolicy(0);
    auto tooMany = client.execute(r);
    ASSERT_TRUE(tooMany.isError());
    EXPECT_EQ(tooMany.error().code, ErrorCode::NetworkError);
    EXPECT_EQ(tooMany.error().message, "HTTP request failed: Too many redirects");

    r.followRedirects = false;
    auto notFollowed = client.execute(r);
    ASSERT_TRUE(notFollowed.isSuccess());
    EXPECT_EQ(notFollowed.value().statusCode, 302);
    EXPECT_EQ(notFollowed.value().headers.at("location"), server.url("/redirect/1"));
}

TEST_F(HttpRequestTest, post_json_sets_content_type_and_lets_extras_win) {
    ASSERT_TRUE(client.postJson(server.url("/json"), "{\"a\":1}").isSuccess());
    RecordedRequest got = server.lastRequest();
    EXPECT_EQ(got.method, "POST");
    EXPECT_EQ(got.header("Content-Type"), "application/json");
    EXPECT_EQ(got.body, "{\"a\":1}");

    ASSERT_TRUE(client
                    .postJson(server.url("/json"), "{}",
                              {{"Content-Type", "application/json; charset=utf-8"},
                               {"Authorization", "Bearer t"}})
                    .isSuccess());
    got = server.lastRequest();
    EXPECT_EQ(got.header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(got.headerCount("Content-Type"), 1u);
    EXPECT_EQ(got.header("Authorization"), "Bearer t");
}

TEST_F(HttpRequestTest, request_ids_are_filled_and_distinct) {
    auto result = client.execute(request("/id"));
    ASSERT_TRUE(result.isSuccess());
    EXPECT_TRUE(std::regex_match(result.value().requestId, std::regex("[0-9a-f]{16}")));

    std::set<std::string> tails;
    for (int i = 0; i < 50; ++i) tails.insert(HttpClient::generateRequestId().substr(12));
    EXPECT_EQ(tails.size(), 50u);
    const std::string a = HttpClient::generateRequestId();
    const std::string b = HttpClient::generateRequestId();
    EXPECT_NE(a.substr(12), b.substr(12));
}

}  // namespace
}  // namespace obs_sayline
