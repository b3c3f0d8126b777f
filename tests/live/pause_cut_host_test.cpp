// Cut at pauses inside the headless host: three spoken sentences with pauses between them go
// to the loopback speech service as three requests, one whole sentence each, and come back as
// three subtitles in order.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "host/harness/audio_feed.h"
#include "plugin/plugin_host_support.h"
#include "stt/stt_wire.h"
#include "support/loopback_server.h"
#include "support/test_audio.h"

namespace obs_sayline::test {
namespace {

using std::chrono::seconds;

// Where a request's audio is louder than -47 dBFS (the sentences' -50 dBFS edges after the
// host's +3 dB from mono feed to mono tap): start of the first such 10 ms frame, end of the
// last, in ms.
std::pair<size_t, size_t> loudSpanMs(const std::vector<int16_t>& pcm) {
    size_t first = SIZE_MAX, end = 0;
    for (size_t f = 0; (f + 1) * 160 <= pcm.size(); ++f) {
        double power = 0;
        for (size_t i = f * 160; i < (f + 1) * 160; ++i) power += double(pcm[i]) * pcm[i];
        if (power / 160 > 32768.0 * 32768.0 * 2.0e-5) {
            first = std::min(first, f * 10);
            end = f * 10 + 10;
        }
    }
    return {first, end};
}

TEST(PauseCutHostTest, three_sentences_give_three_requests_and_three_subtitles_in_order) {
    const char* replies[] = {"Sentence one", "Sentence two", "Sentence three"};
    std::atomic<int> answered{0};
    LoopbackServer whisper;
    whisper.on(
        "POST", "/v1/audio/transcriptions", [&](const httplib::Request&, httplib::Response& res) {
            const int n = answered.fetch_add(1);
            res.set_content(std::string(R"({"text":")") + (n < 3 ? replies[n] : "") +
                                R"(","language":"english","segments":[{"avg_logprob":-0.1}]})",
                            "application/json");
        });
    ASSERT_TRUE(whisper.start());
    setenv("SAYLINE_OPENAI_BASE_URL", whisper.baseUrl().c_str(), 1);

    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "stt_engine", "whisper_api");
    obs_data_set_string(settings, "stt_api_key", "sk-pauses");
    obs_data_set_bool(settings, "enable_translation", false);
    obs_data_set_string(settings, "chunk_mode", "pauses");
    obs_data_set_int(settings, "subtitle_duration", 10000);
    obs_source_t* source = obs_source_create("sayline_source", "pauses", settings, nullptr);
    obs_data_release(settings);
    ASSERT_NE(source, nullptr);
    obs_scene_t* scene = obs_scene_create("pauses scene");
    obs_scene_add(scene, source);
    obs_set_output_source(0, obs_scene_get_source(scene));

    std::vector<Sound> sentences;
    for (const char* text : {"Good morning, and welcome back to the stream.",
                             "Today we are going to build a table.", "Let us begin."}) {
        sentences.push_back(atLevel(trimmed(spokenText(text)), -20));
    }
    const Sound quiet = silence(1200);
    {
        AudioFeed feed;
        feed.push(joined({quiet, sentences[0], quiet, sentences[1], quiet, sentences[2], quiet}),
                  16000);
        EXPECT_TRUE(waitUntil([&] { return shownTextOf(source) == "Sentence three"; }, seconds(20)))
            << shownTextOf(source) << "\n"
            << HostLogCapture::instance().joined();
    }

    const auto requests = whisper.requests();
    ASSERT_EQ(requests.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        std::string wav;
        for (const auto& part : requests[i].parts) {
            if (part.name == "file") wav = part.content;
        }
        ASSERT_EQ(wavProblems(wav, 16000, 1), "") << i;
        const auto [first, end] = loudSpanMs(pcmSamples(wav, 44));
        // The whole sentence, after a little of the quiet before it and with some after.
        EXPECT_NEAR(static_cast<double>(end - first), sentences[i].size() / 16.0, 60.0) << i;
        EXPECT_GE(first, 100u) << i;
        EXPECT_LE(first, 400u) << i;
        EXPECT_GE((wav.size() - 44) / 32 - end, 150u) << i;
    }
    std::vector<std::string> results;
    for (const auto& line : HostLogCapture::instance().lines()) {
        if (line.text.find("[STT] Result: \"Sentence") != std::string::npos) {
            results.push_back(line.text.substr(line.text.find('"')));
        }
    }
    EXPECT_EQ(results, (std::vector<std::string>{"\"Sentence one\" (lang=english, conf=0.90)",
                                                 "\"Sentence two\" (lang=english, conf=0.90)",
                                                 "\"Sentence three\" (lang=english, conf=0.90)"}));
    EXPECT_TRUE(HostLogCapture::instance().containsSubstring("[VAD] Speech chunk: "));

    obs_set_output_source(0, nullptr);
    obs_scene_release(scene);
    EXPECT_TRUE(releaseAndWaitDestroyed({source}, seconds(10)));
    unsetenv("SAYLINE_OPENAI_BASE_URL");
}

}  // namespace
}  // namespace obs_sayline::test
