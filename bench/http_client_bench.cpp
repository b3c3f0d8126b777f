// Per-request cost of HttpClient::execute against a bare libcurl easy-handle loop, both making
// the same POST of a 96,044-byte body (3 s of 16 kHz mono PCM16 as WAV) to a loopback server.
// Both sides keep their connection between requests: the bare loop reuses one handle, as
// execute's connection pool does.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <util/base.h>

#include <cstdarg>
#include <string>

#include "net/http_client.h"
#include "quiet_host_log.h"
#include "support/loopback_server.h"

namespace {

using obs_sayline::HttpClient;
using obs_sayline::HttpClientConfig;
using obs_sayline::HttpMethod;
using obs_sayline::HttpRequest;

constexpr size_t kBodyBytes = 96044;
const char kReply[] = "{\"text\":\"ok\"}";

struct Fixture {
    Fixture() : body(kBodyBytes, '\0') {
        obs_sayline::bench::quietHostLog();
        for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 31 + 7);
        server.on("POST", "/upload", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.body.size() == kBodyBytes ? kReply : "{\"error\":1}",
                            "application/json");
        });
        started = server.start();
        url = server.url("/upload");
    }
    obs_sayline::test::LoopbackServer server;
    std::string body;
    std::string url;
    bool started = false;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

size_t collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void BM_BareCurlPost(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.started) {
        state.SkipWithError("loopback server did not start");
        return;
    }
    curl_global_init(CURL_GLOBAL_ALL);
    CURL* handle = curl_easy_init();
    for (auto _ : state) {
        curl_easy_reset(handle);
        curl_slist* headers = curl_slist_append(nullptr, "Content-Type: audio/wav");
        std::string reply;
        curl_easy_setopt(handle, CURLOPT_URL, f.url.c_str());
        curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(f.body.size()));
        curl_easy_setopt(handle, CURLOPT_COPYPOSTFIELDS, f.body.data());
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &collect);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply);
        CURLcode rc = curl_easy_perform(handle);
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        curl_slist_free_all(headers);
        if (rc != CURLE_OK || status != 200 || reply != kReply) {
            state.SkipWithError("bare transfer failed");
            break;
        }
    }
    curl_easy_cleanup(handle);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodyBytes));
}

void runExecute(benchmark::State& state, bool logging) {
    Fixture& f = fixture();
    if (!f.started) {
        state.SkipWithError("loopback server did not start");
        return;
    }
    HttpClientConfig config;
    config.enableLogging = logging;
    HttpClient client(config);
    for (auto _ : state) {
        HttpRequest request;
        request.url = f.url;
        request.method = HttpMethod::POST;
        request.body = f.body;
        request.setHeader("Content-Type", "audio/wav");
        auto result = client.execute(std::move(request));
        if (!result.isSuccess() || result.value().statusCode != 200 ||
            result.value().body != kReply) {
            state.SkipWithError("execute failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodyBytes));
}

void BM_ExecutePost(benchmark::State& state) { runExecute(state, true); }
void BM_ExecutePostNoLogging(benchmark::State& state) { runExecute(state, false); }

BENCHMARK(BM_BareCurlPost)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ExecutePost)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ExecutePostNoLogging)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
