// An exception inside any callback the host calls stays inside the module: each callback is
// made to throw once (fault injection through SAYLINE_FAULT_INJECTION), logs one line naming
// itself, and the host carries on drawing, mixing and creating sources.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdlib.h>

#include <chrono>
#include <functional>
#include <string>

#include "host/harness/audio_feed.h"
#include "host/harness/frame_grabber.h"
#include "plugin_host_support.h"

namespace obs_sayline::test {
namespace {

using std::chrono::seconds;

constexpr uint32_t kChannel = 5;

class CallbackFaultsHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        obs_data_t* settings = obs_data_create();
        obs_data_set_string(settings, "stt_engine", "whisper_api");
        obs_data_set_string(settings, "stt_api_key", "sk-faults");
        obs_data_set_bool(settings, "enable_translation", false);
        source_ = obs_source_create("sayline_source", "faults", settings, nullptr);
        obs_data_release(settings);
        ASSERT_NE(source_, nullptr);
    }
    void TearDown() override {
        obs_set_output_source(kChannel, nullptr);
        if (source_) obs_source_release(source_);
    }

    // Arms one fault through an update (which reads the variable first thing) and waits until
    // the update is past that point.
    void arm(const char* fault) {
        const std::string applied = sourceLine(source_, "update processing...");
        const std::string failed = "Exception in subtitle_source_update";
        auto& log = HostLogCapture::instance();
        const size_t before = log.count(applied) + countSubstring(failed);
        setenv("SAYLINE_FAULT_INJECTION", fault, 1);
        obs_data_t* settings = obs_source_get_settings(source_);
        obs_source_update(source_, settings);  // applied in the host's next video tick
        obs_data_release(settings);
        EXPECT_TRUE(waitUntil(
            [&] { return log.count(applied) + countSubstring(failed) > before; }, seconds(5)));
        unsetenv("SAYLINE_FAULT_INJECTION");
    }
    static size_t countSubstring(const std::string& needle) {
        size_t n = 0;
        for (const auto& line : HostLogCapture::instance().lines()) {
            if (line.text.find(needle) != std::string::npos) ++n;
        }
        return n;
    }

    // Triggers an armed fault and expects the boundary's line for `callback`.
    void expectCaught(const char* fault, const char* callback, const std::function<void()>& run) {
        const std::string line = std::string("[obs-sayline] [Plugin] Exception in ") + callback +
                                 ": injected fault in " + fault;
        const size_t before = HostLogCapture::instance().count(line);
        arm(fault);
        run();
        EXPECT_TRUE(waitForAnotherLine(line, before, seconds(5)))
            << line << "\n" << HostLogCapture::instance().joined();
    }

    obs_source_t* source_ = nullptr;
};

TEST_F(CallbackFaultsHostTest, each_callback_contains_a_throw_and_the_host_carries_on) {
    expectCaught("update", "subtitle_source_update", [] {});
    expectCaught("defaults", "subtitle_source_defaults",
                 [] { obs_data_release(obs_get_source_defaults("sayline_source")); });
    expectCaught("properties", "subtitle_source_properties", [&] {
        obs_properties_t* props = obs_source_properties(source_);
        EXPECT_NE(props, nullptr);  // an empty sheet rather than none
        obs_properties_destroy(props);
    });
    expectCaught("name", "subtitle_source_get_name",
                 [] { EXPECT_STREQ(obs_source_get_display_name("sayline_source"), "Sayline"); });
    expectCaught("size", "subtitle_source_get_width", [&] { obs_source_get_width(source_); });

    obs_properties_t* props = obs_source_properties(source_);
    obs_data_t* settings = obs_source_get_settings(source_);
    expectCaught("modified", "stt_engine_modified",
                 [&] { obs_property_modified(obs_properties_get(props, "stt_engine"), settings); });
    expectCaught("button", "open_stt_site_clicked", [&] {
        obs_property_button_clicked(obs_properties_get(props, "open_stt_site"), source_);
    });
    obs_data_release(settings);
    obs_properties_destroy(props);

    expectCaught("activate", "subtitle_source_activate",
                 [&] { obs_set_output_source(kChannel, source_); });
    expectCaught("deactivate", "subtitle_source_deactivate",
                 [&] { obs_set_output_source(kChannel, nullptr); });

    // Drawn and fed: the render and audio callbacks throw once, then work on.
    expectCaught("render", "subtitle_source_render",
                 [&] { obs_set_output_source(kChannel, source_); });
    EXPECT_TRUE(FrameGrabber::next(seconds(5)).has_value());
    AudioFeed feed;
    expectCaught("audio", "subtitle_source_audio", [&] { feed.pushSine(440.0, 0.3f, 200); });
    const size_t chunks = countSubstring("[Audio] Buffer full");
    feed.pushSine(440.0, 0.3f, 3400);
    EXPECT_TRUE(waitUntil([&] { return countSubstring("[Audio] Buffer full") > chunks; },
                          seconds(10)));

    // Destroy throws after the record is freed; creation refuses with its own line.
    expectCaught("destroy", "subtitle_source_destroy", [&] {
        obs_set_output_source(kChannel, nullptr);
        obs_source_release(source_);
        source_ = nullptr;
    });
    setenv("SAYLINE_FAULT_INJECTION", "create", 1);
    obs_source_t* refused = obs_source_create("sayline_source", "refused", nullptr, nullptr);
    unsetenv("SAYLINE_FAULT_INJECTION");
    EXPECT_TRUE(HostLogCapture::instance().contains(
        "[obs-sayline] [Plugin] Failed to create subtitle source: injected fault in create"));
    obs_source_release(refused);
}

}  // namespace
}  // namespace obs_sayline::test
