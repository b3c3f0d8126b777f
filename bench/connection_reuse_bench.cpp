// What keeping connections open saves: a Whisper-sized request (multipart, 96,044-byte WAV)
// to a loopback HTTPS server behind a proxy that delays every chunk by 40 ms each way, made 20
// times either with a fresh connection per request (a new client each time: TCP and TLS
// handshakes every time) or through one client that keeps its connection.
//
// Counters per iteration of 20 requests: first_ms (the first request), steady_ms (the mean of
// the other 19), handshakes (connections the server accepted; each is one TLS handshake).
// Delay 0 gives the transfer time alone. BM_FirstRequest times the first request of a new
// client, cold or after a HEAD request has opened the connection: what a warm-up at capture
// start could save at most. (A CURLOPT_CONNECT_ONLY warm-up saves nothing against TLS 1.3 and
// one round trip of four against TLS 1.2: libcurl never reuses a connect-only connection for
// a transfer, only its TLS session.)
//
// OPENSSL_CONF naming a file with "MaxProtocol = TLSv1.2" in its system_default section
// measures a TLS 1.2 service (two round trips of handshake instead of one).
#include <benchmark/benchmark.h>
#include <util/base.h>

#include <chrono>
#include <cstdarg>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "delay_proxy.h"
#include "net/http_client.h"
#include "quiet_host_log.h"
#include "support/loopback_server.h"

namespace {

using obs_sayline::HttpClient;
using obs_sayline::HttpClientConfig;
using obs_sayline::HttpMethod;
using obs_sayline::HttpRequest;
using obs_sayline::bench::DelayProxy;
using Clock = std::chrono::steady_clock;

constexpr size_t kWavBytes = 96044;
constexpr int kRequests = 20;
const char kReply[] = "{\"text\":\"ok\"}";

struct Fixture {
    Fixture() : server(cert), wav(kWavBytes) {
        obs_sayline::bench::quietHostLog();
        for (size_t i = 0; i < wav.size(); ++i) wav[i] = static_cast<uint8_t>(i * 31 + 7);
        server.on("POST", "/v1/audio/transcriptions",
                  [](const httplib::Request& req, httplib::Response& res) {
                      auto file = req.files.find("file");
                      const bool whole =
                          file != req.files.end() && file->second.content.size() == kWavBytes;
                      res.set_content(whole ? kReply : "{\"error\":1}", "application/json");
                  });
        started = cert.valid() && server.start();
    }

    // The proxy for a one-way delay, started on first use.
    DelayProxy* proxy(int delayMs) {
        auto& slot = proxies[delayMs];
        if (!slot) {
            slot = std::make_unique<DelayProxy>(server.port(),
                                                std::chrono::milliseconds(delayMs));
            if (!slot->start()) return nullptr;
        }
        return slot.get();
    }

    std::string base(DelayProxy& p) const {
        return "https://127.0.0.1:" + std::to_string(p.port());
    }

    HttpClientConfig config() const {
        HttpClientConfig c;
        c.userAgent = "obs-sayline/1.0 (WhisperAPI)";
        c.caBundlePath = cert.caBundlePath();
        return c;
    }

    HttpRequest whisperRequest(DelayProxy& p) const {
        HttpRequest r;
        r.method = HttpMethod::POST;
        r.url = base(p) + "/v1/audio/transcriptions";
        r.setHeader("Authorization", "Bearer bench-key");
        r.tag = "whisper-transcription";
        r.followRedirects = false;
        r.addTextField("model", "whisper-1");
        r.addTextField("response_format", "verbose_json");
        r.addFileField("file", "audio.wav", wav, "audio/wav");
        return r;
    }

    obs_sayline::test::SelfSignedCertificate cert;
    obs_sayline::test::LoopbackServer server;
    std::vector<uint8_t> wav;
    std::map<int, std::unique_ptr<DelayProxy>> proxies;
    bool started = false;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// Milliseconds of one request; negative when it failed.
double timedRequest(HttpClient& client, HttpRequest request) {
    auto started = Clock::now();
    auto result = client.execute(std::move(request));
    std::chrono::duration<double, std::milli> elapsed = Clock::now() - started;
    if (!result.isSuccess() || result.value().body != kReply) return -1.0;
    return elapsed.count();
}

// Args: one-way delay in ms; 0 = a fresh connection per request, 1 = one client throughout.
void BM_WhisperPost(benchmark::State& state) {
    Fixture& f = fixture();
    DelayProxy* proxy = f.started ? f.proxy(static_cast<int>(state.range(0))) : nullptr;
    if (!proxy) {
        state.SkipWithError("loopback server or proxy did not start");
        return;
    }
    const bool reuse = state.range(1) != 0;
    double first = 0.0;
    double steady = 0.0;
    double handshakes = 0.0;
    for (auto _ : state) {
        const size_t connectionsBefore = f.server.connectionCount();
        std::unique_ptr<HttpClient> client;
        for (int i = 0; i < kRequests; ++i) {
            if (!client || !reuse) client = std::make_unique<HttpClient>(f.config());
            const double ms = timedRequest(*client, f.whisperRequest(*proxy));
            if (ms < 0) {
                state.SkipWithError("request failed");
                return;
            }
            (i == 0 ? first : steady) += ms;
        }
        client.reset();
        handshakes += static_cast<double>(f.server.connectionCount() - connectionsBefore);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["first_ms"] = first / n;
    state.counters["steady_ms"] = steady / (n * (kRequests - 1));
    state.counters["handshakes"] = handshakes / n;
}

// Arg: 0 = no warm-up, 1 = a HEAD request to the service first.
void BM_FirstRequest(benchmark::State& state) {
    Fixture& f = fixture();
    DelayProxy* proxy = f.started ? f.proxy(40) : nullptr;
    if (!proxy) {
        state.SkipWithError("loopback server or proxy did not start");
        return;
    }
    double handshakes = 0.0;
    for (auto _ : state) {
        const size_t connectionsBefore = f.server.connectionCount();
        HttpClient client(f.config());
        if (state.range(0) == 1) {
            HttpRequest head;
            head.method = HttpMethod::HEAD;
            head.url = f.base(*proxy) + "/";
            client.execute(head);
        }
        // The first chunk comes seconds after capture start; a warm-up is over by then.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const double ms = timedRequest(client, f.whisperRequest(*proxy));
        if (ms < 0) {
            state.SkipWithError("request failed");
            return;
        }
        state.SetIterationTime(ms / 1000.0);
        handshakes += static_cast<double>(f.server.connectionCount() - connectionsBefore);
    }
    state.counters["handshakes"] = handshakes / static_cast<double>(state.iterations());
}

BENCHMARK(BM_WhisperPost)
    ->ArgNames({"delay_ms", "reuse"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({40, 0})
    ->Args({40, 1})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FirstRequest)
    ->ArgName("warm_up")
    ->DenseRange(0, 1)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

}  // namespace
