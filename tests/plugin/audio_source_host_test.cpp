// A chosen audio source and the status inside the headless host: the chosen source's audio
// (and only it) reaches the speech service as 16 kHz mono, captioning follows the source as it
// is renamed, removed and added again, each cause of trouble has its sentence (read through
// the source's procedure handler and the property sheet), hotkeys pause and resume, and a
// problem can be drawn in the scene.
//
// The chosen sources here are outside the program mix, and their audio capture callbacks run
// inside obs_source_output_audio: a push has reached the live path when it returns.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/harness/audio_feed.h"
#include "plugin_host_support.h"
#include "stt/stt_wire.h"
#include "support/loopback_server.h"

namespace obs_sayline::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr const char* kKeyHeard = "sk-heard-41c2";
constexpr const char* kKeyRefused = "sk-refused-77d0";

std::string keyOf(const RecordedRequest& request) {
    return keyOfAuthorization(request.header("Authorization"));
}

// The 16-bit samples of the WAV file a request carried.
std::vector<int16_t> heardSamples(const RecordedRequest& request) {
    for (const auto& part : request.parts) {
        if (part.name != "file") continue;
        EXPECT_EQ(wavProblems(part.content, 16000, 1), "");
        return pcmSamples(part.content, 44);
    }
    ADD_FAILURE() << "no audio in the request";
    return {};
}

// Amplitude of one frequency in 16 kHz samples (Goertzel), relative to full scale.
double toneLevel(const std::vector<int16_t>& pcm, double hz) {
    const double coefficient = 2.0 * std::cos(2.0 * M_PI * hz / 16000.0);
    double s1 = 0.0, s2 = 0.0;
    for (int16_t x : pcm) {
        const double s = x / 32768.0 + coefficient * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(pcm.size());
}

// Interleaved stereo at 44.1 kHz: a different tone on each side.
std::vector<float> stereo44k(uint32_t durationMs, double leftHz, double rightHz) {
    const size_t frames = 44100u * durationMs / 1000u;
    std::vector<float> samples(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        samples[2 * i] = 0.3f * static_cast<float>(std::sin(2.0 * M_PI * leftHz * i / 44100.0));
        samples[2 * i + 1] =
            0.3f * static_cast<float>(std::sin(2.0 * M_PI * rightHz * i / 44100.0));
    }
    return samples;
}

bool recognitionIdle(obs_source_t* source) {
    const auto& live = recordOf(source)->capture.live;
    return live && !live->recognition().busy();
}

class AudioSourceHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        services_ = std::make_unique<LoopbackServer>();
        services_->on(
            "POST", "/v1/audio/transcriptions",
            [](const httplib::Request& req, httplib::Response& res) {
                if (req.get_header_value("Authorization").find(kKeyRefused) != std::string::npos) {
                    res.status = 401;
                    res.set_content(R"({"error":{"message":"Incorrect API key"}})",
                                    "application/json");
                    return;
                }
                res.set_content(R"({"text":"Heard you","language":"english",)"
                                R"("segments":[{"avg_logprob":-0.1}]})",
                                "application/json");
            });
        ASSERT_TRUE(services_->start());
        setenv("SAYLINE_OPENAI_BASE_URL", services_->baseUrl().c_str(), 1);
        unsetenv("DEEPGRAM_API_KEY");
    }
    static void TearDownTestSuite() {
        services_.reset();
        unsetenv("SAYLINE_OPENAI_BASE_URL");
    }
    void TearDown() override {
        EXPECT_TRUE(releaseAndWaitDestroyed(sources_, seconds(20)));
    }

    // A Sayline source listening to `audioSource` through `engine` with `key`.
    obs_source_t* listener(const char* name, const char* audioSource, const char* key,
                           const char* engine = "whisper_api") {
        obs_data_t* settings = obs_data_create();
        obs_data_set_string(settings, "stt_engine", engine);
        obs_data_set_string(settings, "stt_api_key", key);
        obs_data_set_string(settings, "source_language", "en");
        obs_data_set_bool(settings, "enable_translation", false);
        obs_data_set_string(settings, "audio_source", audioSource);
        obs_source_t* source = obs_source_create("sayline_source", name, settings, nullptr);
        obs_data_release(settings);
        EXPECT_NE(source, nullptr);
        sources_.push_back(source);
        return source;
    }

    static std::vector<RecordedRequest> requestsWithKey(const std::string& key) {
        std::vector<RecordedRequest> out;
        for (auto& request : services_->requests()) {
            if (keyOf(request) == key) out.push_back(request);
        }
        return out;
    }

    static inline std::unique_ptr<LoopbackServer> services_;
    std::vector<obs_source_t*> sources_;
};

TEST_F(AudioSourceHostTest, chosen_source_reaches_the_service_as_16k_mono_and_the_mix_does_not) {
    AudioFeed music(1, "Sayline music in the mix");
    AudioFeed mic(AudioFeed::kNotInMix, "Sayline mic 44k");
    services_->clearRequests();
    obs_source_t* source = listener("listens to the mic", "Sayline mic 44k", kKeyHeard);
    EXPECT_EQ(statusOf(source).code, "listening");

    // The sheet lists the program audio first, then the sources with audio by name.
    obs_properties_t* props = obs_source_properties(source);
    obs_property_t* list = obs_properties_get(props, "audio_source");
    ASSERT_NE(list, nullptr);
    std::vector<std::string> listed;
    for (size_t i = 0; i < obs_property_list_item_count(list); ++i) {
        listed.push_back(obs_property_list_item_string(list, i));
    }
    obs_properties_destroy(props);
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed.front(), "");
    EXPECT_THAT(listed, testing::Contains("Sayline mic 44k"));
    EXPECT_THAT(listed, testing::Contains("Sayline music in the mix"));
    EXPECT_THAT(listed, testing::Not(testing::Contains("listens to the mic")));

    // 2 kHz in the program mix meanwhile; the mic has 300 Hz on the left, 700 Hz on the right.
    music.pushSine(2000.0, 0.5f, 5000);
    const uint32_t micMs = 4000;
    mic.push(stereo44k(micMs, 300.0, 700.0), 44100, SPEAKERS_STEREO);
    ASSERT_TRUE(waitUntil([] { return requestsWithKey(kKeyHeard).size() >= 1; }, seconds(10)))
        << HostLogCapture::instance().joined();
    // Stopping sends what is left after the first chunk.
    updateInVideoTick(source,
                      [](obs_data_t* off) { obs_data_set_string(off, "stt_engine", "none"); });
    ASSERT_TRUE(waitUntil([] { return requestsWithKey(kKeyHeard).size() >= 2; }, seconds(10)));

    const auto requests = requestsWithKey(kKeyHeard);
    ASSERT_EQ(requests.size(), 2u);
    const std::vector<int16_t> first = heardSamples(requests[0]);
    const size_t total = first.size() + heardSamples(requests[1]).size();
    // 4 s at 44.1 kHz stereo (176400 frames) comes out as 4 s at 16 kHz mono, but for the few
    // samples that the two resamplers (the host's to 48 kHz, ours to 16 kHz) still hold.
    const size_t expected = 16000u * micMs / 1000u;
    EXPECT_NEAR(static_cast<double>(total), static_cast<double>(expected), 64.0);
    std::printf(
        "[resampling] %u ms of 44100 Hz stereo (%u frames) -> %zu + %zu = %zu samples "
        "at 16000 Hz mono (expected %zu)\n",
        micMs, 44100u * micMs / 1000u, first.size(), total - first.size(), total, expected);
    // Both sides of the mic, mixed down; nothing of the program mix.
    const double left = toneLevel(first, 300.0), right = toneLevel(first, 700.0);
    const double mix = toneLevel(first, 2000.0);
    EXPECT_GT(left, 0.1);
    EXPECT_GT(right, 0.1);
    EXPECT_LT(mix, left / 100.0) << "the program mix reached the recogniser";
}

TEST_F(AudioSourceHostTest, captioning_follows_a_rename_waits_while_removed_and_resumes_on_return) {
    auto mic = std::make_unique<AudioFeed>(AudioFeed::kNotInMix, "Sayline mic A");
    obs_source_t* source = listener("follows the mic", "Sayline mic A", kKeyHeard);
    EXPECT_EQ(statusOf(source).code, "listening");

    obs_source_set_name(mic->source(), "Sayline mic B");
    obs_data_t* settings = obs_source_get_settings(source);
    EXPECT_STREQ(obs_data_get_string(settings, "audio_source"), "Sayline mic B");
    obs_data_release(settings);
    EXPECT_EQ(statusOf(source).code, "listening");

    // Removed: what the old source still plays goes nowhere.
    services_->clearRequests();
    obs_source_remove(mic->source());
    const Status missing = statusOf(source);
    EXPECT_EQ(missing.code, "audio_source_missing");
    EXPECT_EQ(missing.text, "Audio source 'Sayline mic B' not found");
    mic->pushSine(300.0, 0.3f, 3100);
    mic.reset();
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_TRUE(requestsWithKey(kKeyHeard).empty());

    // A source of that name again: taken up by itself.
    mic = std::make_unique<AudioFeed>(AudioFeed::kNotInMix, "Sayline mic B");
    EXPECT_EQ(statusOf(source).code, "listening");
    mic->pushSine(300.0, 0.3f, 3100);
    EXPECT_TRUE(waitUntil([] { return requestsWithKey(kKeyHeard).size() == 1; }, seconds(10)))
        << HostLogCapture::instance().joined();
    EXPECT_TRUE(waitUntil([&] { return statusOf(source).code == "subtitle_shown"; }, seconds(5)))
        << statusOf(source).text;
}

TEST_F(AudioSourceHostTest, each_cause_of_trouble_has_its_sentence) {
    AudioFeed voice(AudioFeed::kNotInMix, "Sayline voice");
    obs_source_t* noKey = listener("no key", "Sayline voice", "", "deepgram");
    obs_source_t* refused = listener("refused", "Sayline voice", kKeyRefused);
    // A server that is gone: its port refuses connections.
    std::string deadUrl;
    {
        LoopbackServer gone;
        ASSERT_TRUE(gone.start());
        deadUrl = gone.baseUrl();
    }
    setenv("SAYLINE_OPENAI_BASE_URL", deadUrl.c_str(), 1);
    obs_source_t* dead = listener("dead server", "Sayline voice", kKeyHeard);
    setenv("SAYLINE_OPENAI_BASE_URL", services_->baseUrl().c_str(), 1);

    // One chunk each, then wait until all three are done with it.
    auto speak = [&] {
        voice.pushSine(300.0, 0.3f, 3100);
        ASSERT_TRUE(waitUntil(
            [&] {
                return recognitionIdle(noKey) && recognitionIdle(refused) && recognitionIdle(dead);
            },
            seconds(10)));
    };
    speak();
    EXPECT_EQ(statusOf(noKey).text, "No API key for Deepgram");
    EXPECT_EQ(statusOf(noKey).code, "api_key_missing");
    EXPECT_EQ(statusOf(refused).text, "Key refused by the service (HTTP 401)");
    EXPECT_EQ(statusOf(refused).code, "api_key_refused");
    EXPECT_EQ(statusOf(dead).text, "Service unreachable — retrying with the next speech");
    EXPECT_EQ(statusOf(dead).code, "service_unreachable");
    for (obs_source_t* source : {noKey, refused, dead}) {
        EXPECT_EQ(statusRow(source), "Status: " + statusOf(source).text);
        std::printf("[status row] %s\n", statusRow(source).c_str());
    }

    // The third failure in a row opens the dead server's breaker for 30 s.
    speak();
    speak();
    const Status open = statusOf(dead);
    EXPECT_EQ(open.code, "circuit_open");
    EXPECT_THAT(open.text, testing::AnyOf("Circuit open — resuming in 30 s",
                                          "Circuit open — resuming in 29 s"));
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [Status] dead server: Circuit open — resuming in 30 s"));
    // One line per change of state, however many chunks met the same trouble.
    EXPECT_EQ(HostLogCapture::instance().count(
                  "[obs-sayline] [Status] refused: Key refused by the service (HTTP 401)"),
              1u);
}

// The hotkeys of one source, by name.
std::map<std::string, obs_hotkey_id> hotkeysOf(obs_source_t* source) {
    std::pair<obs_source_t*, std::map<std::string, obs_hotkey_id>> found{source, {}};
    obs_enum_hotkeys(
        [](void* data, obs_hotkey_id id, obs_hotkey_t* key) {
            auto* f = static_cast<decltype(found)*>(data);
            auto* owner = static_cast<obs_weak_source_t*>(obs_hotkey_get_registerer(key));
            if (obs_hotkey_get_registerer_type(key) == OBS_HOTKEY_REGISTERER_SOURCE &&
                obs_weak_source_references_source(owner, f->first)) {
                f->second[obs_hotkey_get_name(key)] = id;
            }
            return true;
        },
        &found);
    return found.second;
}

TEST_F(AudioSourceHostTest, pause_and_resume_hotkeys_stop_and_restart_requests) {
    AudioFeed voice(AudioFeed::kNotInMix, "Sayline hotkey voice");
    services_->clearRequests();
    obs_source_t* source = listener("hotkeys", "Sayline hotkey voice", kKeyHeard);
    auto hotkeys = hotkeysOf(source);
    ASSERT_EQ(hotkeys.size(), 3u);
    obs_hotkey_enable_callback_rerouting(true);
    obs_properties_t* props = obs_source_properties(source);
    EXPECT_STREQ(obs_property_description(obs_properties_get(props, "status")),
                 "Status: Listening");

    obs_hotkey_trigger_routed_callback(hotkeys.at("sayline.pause"), true);
    EXPECT_EQ(statusOf(source).text, "Paused");
    voice.pushSine(300.0, 0.3f, 3100);
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_TRUE(requestsWithKey(kKeyHeard).empty());
    // The sheet shows the change once asked to.
    EXPECT_TRUE(obs_property_button_clicked(obs_properties_get(props, "status_refresh"), source));
    EXPECT_STREQ(obs_property_description(obs_properties_get(props, "status")), "Status: Paused");
    obs_properties_destroy(props);

    obs_hotkey_trigger_routed_callback(hotkeys.at("sayline.resume"), true);
    EXPECT_EQ(statusOf(source).code, "listening");
    voice.pushSine(300.0, 0.3f, 3100);
    EXPECT_TRUE(waitUntil([] { return requestsWithKey(kKeyHeard).size() == 1; }, seconds(10)));
    // Its answer first: arriving later, it would replace the text left below.
    EXPECT_TRUE(waitUntil([&] { return shownTextOf(source) == "Heard you"; }, seconds(5)));

    recordOf(source)->scene->leave("to be cleared");
    EXPECT_TRUE(waitUntil([&] { return shownTextOf(source) == "to be cleared"; }, seconds(5)));
    obs_hotkey_trigger_routed_callback(hotkeys.at("sayline.clear"), true);
    EXPECT_TRUE(waitUntil([&] { return shownTextOf(source).empty(); }, seconds(5)));
    obs_hotkey_enable_callback_rerouting(false);

    // The procedures the dock calls do the same.
    const auto call = [&](const char* procedure, const bool* paused) {
        calldata_t data;
        calldata_init(&data);
        if (paused) calldata_set_bool(&data, "paused", *paused);
        EXPECT_TRUE(proc_handler_call(obs_source_get_proc_handler(source), procedure, &data));
        calldata_free(&data);
    };
    const bool pause = true, resume = false;
    call("set_paused", &pause);
    EXPECT_EQ(statusOf(source).code, "paused");
    call("set_paused", &resume);
    EXPECT_EQ(statusOf(source).code, "subtitle_shown");
    recordOf(source)->scene->leave("cleared by procedure");
    EXPECT_TRUE(waitUntil([&] { return shownTextOf(source) == "cleared by procedure"; }, seconds(5)));
    call("clear_subtitle", nullptr);
    EXPECT_TRUE(waitUntil([&] { return shownTextOf(source).empty(); }, seconds(5)));
}

// Amber status text in the top-left corner of the frame.
int amberPixels(const Frame& frame) {
    int count = 0;
    for (uint32_t y = 0; y < 60 && y < frame.height; ++y) {
        for (uint32_t x = 0; x < frame.width / 2; ++x) {
            const uint8_t* p = frame.pixel(x, y);  // BGRA
            if (p[2] > 200 && p[1] > 140 && p[1] < 230 && p[0] < 90) ++count;
        }
    }
    return count;
}

TEST_F(AudioSourceHostTest, a_problem_is_drawn_in_the_scene_only_when_asked_for) {
    obs_source_t* source = listener("draws its problem", "Sayline nowhere", kKeyHeard);
    ASSERT_EQ(statusOf(source).code, "audio_source_missing");
    obs_scene_t* scene = obs_scene_create("sayline status scene");
    obs_scene_add(scene, source);
    obs_set_output_source(0, obs_scene_get_source(scene));

    auto drawn = FrameGrabber::next(seconds(5), 6);
    ASSERT_TRUE(drawn.has_value());
    EXPECT_EQ(amberPixels(*drawn), 0) << "drawn although not asked for";

    updateInVideoTick(source,
                      [](obs_data_t* on) { obs_data_set_bool(on, "status_in_scene", true); });
    Frame last;
    EXPECT_TRUE(FrameGrabber::waitFor([](const Frame& f) { return amberPixels(f) > 50; },
                                      seconds(5), &last))
        << amberPixels(last) << " amber pixels";

    obs_set_output_source(0, nullptr);
    obs_scene_release(scene);
}

}  // namespace
}  // namespace obs_sayline::test
