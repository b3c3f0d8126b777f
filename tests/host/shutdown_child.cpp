// A host process of its own for what only a whole process can show: shutting the host down, or
// unloading and loading the module again, while a request hangs at a server; or the host being
// killed while it writes a transcript. Run by shutdown_test.cpp; prints "SHUTDOWN" just before
// each shutdown and the result last, and returns non-zero when a check failed.
//
//   sayline_shutdown_child destroyed|alive|reload|load-fault|unload-fault
//   sayline_shutdown_child transcript-kill <folder>   (ends by SIGKILL after two cues)

#include <obs.h>
#include <signal.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "host/harness/audio_feed.h"
#include "host/harness/obs_host.h"
#include "plugin/subtitle_source_data.h"
#include "support/host_log_capture.h"
#include "support/loopback_server.h"

using namespace obs_sayline::test;
using namespace std::chrono_literals;

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    if (ok) return;
    ++failures;
    std::printf("FAILED: %s\n", what);
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A Sayline source listening to the mix, with its first request stalled at `server`.
obs_source_t* sourceWithStalledRequest(LoopbackServer& server, AudioFeed& feed) {
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "whisper_api");
    obs_data_set_string(settings, "stt_api_key", "sk-stalled");
    obs_data_set_bool(settings, "enable_translation", false);
    obs_source_t* source = obs_source_create("sayline_source", "stalled", settings, nullptr);
    obs_data_release(settings);
    const size_t before = server.requestCount();
    feed.pushSine(440.0, 0.3f, 3600);
    check(waitFor([&] { return server.requestCount() > before; }, 10s),
          "the request reached the server");
    return source;
}

// Stops the host, timing it, and checks that the module's unload line came last.
void shutDown(ObsHost& host) {
    std::printf("SHUTDOWN\n");
    std::fflush(stdout);
    const auto started = std::chrono::steady_clock::now();
    host.stop();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    std::printf("shutdown took %lld ms\n", static_cast<long long>(took.count()));
    const auto lines = HostLogCapture::instance().moduleLines();
    check(!lines.empty() && lines.back().text == "[obs-sayline] Plugin unloaded",
          "the unload line is the module's last line");
    // Every worker was stopped and joined before the module went: none runs after unload.
    check(!HostLogCapture::instance().containsSubstring("left behind"),
          "no worker is left running at unload");
}

// A source on air whose transcript goes to `folder`; the process kills itself (SIGKILL, as an
// external kill would) as soon as the second cue is written.
int killAfterTwoCues(const std::string& folder) {
    AudioFeed feed;
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "whisper_api");
    obs_data_set_string(settings, "stt_api_key", "sk-transcript");
    obs_data_set_bool(settings, "enable_translation", false);
    obs_data_set_string(settings, "transcript_format", "srt");
    obs_data_set_string(settings, "transcript_dir", folder.c_str());
    obs_source_t* source = obs_source_create("sayline_source", "transcript", settings, nullptr);
    obs_data_release(settings);
    obs_scene_t* scene = obs_scene_create("transcript scene");
    obs_scene_add(scene, source);
    obs_set_output_source(0, obs_scene_get_source(scene));
    feed.pushSine(440.0, 0.3f, 12000);

    auto* record = static_cast<obs_sayline::SubtitleSourceData*>(obs_obj_get_data(source));
    check(waitFor([&] { return record->sharedOutputs->hub()->transcript()->cuesWritten() >= 2; }, 20s),
          "two cues were written");
    if (failures) {
        std::printf("RESULT FAILED\n");
        return 1;
    }
    std::printf("KILL\n");
    std::fflush(stdout);
    kill(getpid(), SIGKILL);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    LoopbackServer server;
    std::atomic<int> recognised{0};
    if (mode == "transcript-kill") {
        server.onAny([&](const httplib::Request&, httplib::Response& res) {
            const std::string text = "words number " + std::to_string(++recognised);
            res.set_content(R"({"text":")" + text + R"(","language":"english","duration":3.0,)" +
                                R"("segments":[{"start":0.0,"end":3.0,"avg_logprob":-0.1,)" +
                                R"("no_speech_prob":0.01}]})",
                            "application/json");
        });
    } else {
        server.onAny([&](const httplib::Request&, httplib::Response& res) {
            if (server.stall(60000)) {
                res.set_content(R"({"text":"late words"})", "application/json");
            }
        });
    }
    if (!server.start()) return 2;
    setenv("SAYLINE_OPENAI_BASE_URL", server.baseUrl().c_str(), 1);
    if (mode == "load-fault") setenv("SAYLINE_FAULT_INJECTION", "load", 1);
    if (mode == "unload-fault") setenv("SAYLINE_FAULT_INJECTION", "unload", 1);

    ObsHost& host = ObsHost::instance();
    std::string error;
    if (!host.start(&error)) {
        if (mode == "load-fault") {
            // The module refused to load, and the process carries on.
            check(HostLogCapture::instance().contains(
                      "[obs-sayline] [Plugin] Exception in obs_module_load: injected fault in "
                      "load"),
                  "the load fault is logged");
            host.stop();
            std::printf("%s\n", failures ? "RESULT FAILED" : "RESULT OK");
            return failures ? 1 : 0;
        }
        std::printf("host did not start: %s\n", error.c_str());
        return 2;
    }

    if (mode == "transcript-kill") return killAfterTwoCues(argc > 2 ? argv[2] : "");

    if (mode == "unload-fault") {
        host.stop();
        check(HostLogCapture::instance().contains(
                  "[obs-sayline] [Plugin] Exception in obs_module_unload: injected fault in "
                  "unload"),
              "the unload fault is logged");
        struct sigaction now {};
        sigaction(SIGSEGV, nullptr, &now);
        check(now.sa_sigaction == host.segvActionBeforeLoad().sa_sigaction,
              "the crash handler is removed all the same");
        std::printf("%s\n", failures ? "RESULT FAILED" : "RESULT OK");
        return failures ? 1 : 0;
    }

    {
        AudioFeed feed;
        obs_source_t* source = sourceWithStalledRequest(server, feed);
        if (mode == "destroyed") {
            obs_source_release(source);  // gives up on the stalled worker after 5 s
            check(waitFor(
                      [] {
                          return HostLogCapture::instance().contains(
                              "[obs-sayline] Sayline source 'stalled' destroyed");
                      },
                      10s),
                  "the source was destroyed");
        } else {
            // The source is still there when the host shuts down (and so is the reference).
            (void)source;
        }
    }
    shutDown(host);
    check(!HostLogCapture::instance().containsSubstring("late words"),
          "no result arrives after unload");

    if (mode == "reload") {
        // The same module, loaded again into a new host in the same process, works again.
        HostLogCapture::instance().clear();
        host.setLoadTextModule(false);
        if (!host.start(&error)) {
            std::printf("host did not start again: %s\n", error.c_str());
            return 2;
        }
        {
            AudioFeed feed;
            obs_source_t* source = sourceWithStalledRequest(server, feed);
            (void)source;
        }
        shutDown(host);
    }
    std::printf("%s\n", failures ? "RESULT FAILED" : "RESULT OK");
    return failures ? 1 : 0;
}
