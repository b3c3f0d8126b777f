#include <gtest/gtest.h>
#include <obs.h>
#include <util/bmem.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "host/harness/audio_feed.h"
#include "host/harness/audio_tap.h"
#include "host/harness/frame_grabber.h"
#include "host/harness/obs_host.h"
#include "host/harness/test_sources.h"

namespace obs_sayline::test {
namespace {

using namespace std::chrono_literals;

TEST(HarnessHostTest, pushed_audio_reaches_the_mix_at_16khz_mono) {
    AudioTap tap;  // what the Sayline source asks the host for
    ASSERT_TRUE(tap.connected());
    AudioFeed feed;
    ASSERT_NE(feed.source(), nullptr);

    feed.pushSine(440.0, 0.5f, 1000);
    // Half a second of the tone after its onset.
    auto onset = [](const std::vector<float>& s) {
        return std::find_if(s.begin(), s.end(), [](float v) { return std::fabs(v) > 0.25f; }) -
               s.begin();
    };
    ASSERT_TRUE(tap.waitFor(
        [&](const std::vector<float>& s) {
            return onset(s) < static_cast<long>(s.size()) &&
                   s.size() - static_cast<size_t>(onset(s)) >= 8000;
        },
        5s))
        << "got " << tap.samples().size() << " samples, onset at " << onset(tap.samples());

    auto all = tap.samples();
    std::vector<float> tone(all.begin() + onset(all), all.begin() + onset(all) + 8000);
    float peak = 0.f;
    int crossings = 0;
    for (size_t i = 0; i < tone.size(); ++i) {
        peak = std::max(peak, std::fabs(tone[i]));
        if (i > 0 && (tone[i - 1] < 0.f) != (tone[i] < 0.f)) ++crossings;
    }
    // A mono source is spread over the stereo mix and folded back to mono: +3 dB.
    EXPECT_NEAR(peak, kMonoFeedGain * 0.5f, 0.03f);
    EXPECT_NEAR(crossings, 440, 10);  // 440 Hz for 0.5 s: two crossings per period
}

TEST(HarnessHostTest, rendered_frame_shows_a_scene_source_in_place) {
    obs_data_t* settings = obs_data_create();
    obs_data_set_int(settings, "color", 0xFF0000FF);  // opaque red, 0xAABBGGRR
    obs_data_set_int(settings, "width", 200);
    obs_data_set_int(settings, "height", 100);
    obs_source_t* color = obs_source_create(kTestColorSourceId, "red box", settings, nullptr);
    obs_data_release(settings);
    ASSERT_NE(color, nullptr);

    obs_scene_t* scene = obs_scene_create("harness scene");
    obs_sceneitem_t* item = obs_scene_add(scene, color);
    struct vec2 pos = {100.f, 50.f};
    obs_sceneitem_set_pos(item, &pos);
    obs_set_output_source(0, obs_scene_get_source(scene));

    auto isRed = [](const Frame& f, uint32_t x, uint32_t y) { return f.argb(x, y) == 0xFFFF0000; };
    // Nothing drawn there: the canvas stays fully transparent.
    auto isEmpty = [](const Frame& f, uint32_t x, uint32_t y) { return f.pixel(x, y)[3] == 0; };
    Frame last;
    auto frame = FrameGrabber::waitFor(
        [&](const Frame& f) { return isRed(f, 200, 100) && isEmpty(f, 20, 20); }, 5s, &last);

    obs_set_output_source(0, nullptr);
    obs_scene_release(scene);
    obs_source_release(color);

    ASSERT_TRUE(frame.has_value()) << std::hex << "last frame " << last.width << "x" << last.height
                                   << " centre pixel 0x" << (last.width ? last.argb(200, 100) : 0);
    EXPECT_EQ(frame->width, 1280u);
    EXPECT_EQ(frame->height, 720u);
    // Corners of the box, and just outside it.
    EXPECT_TRUE(isRed(*frame, 100, 50));
    EXPECT_TRUE(isRed(*frame, 299, 149));
    EXPECT_TRUE(isEmpty(*frame, 99, 50));
    EXPECT_TRUE(isEmpty(*frame, 300, 149));
    EXPECT_TRUE(isEmpty(*frame, 200, 150));
}

TEST(HarnessHostTest, host_freetype_text_source_is_available) {
    ASSERT_TRUE(ObsHost::instance().freetypeLoaded()) << kFreetypeModulePath;
    EXPECT_NE(obs_source_get_display_name("text_ft2_source"), nullptr);
}

// Every libobs object the tests made was released again.
const bool kLeakCheck = [] {
    ObsHost::instance().addAfterShutdownCheck("no libobs allocations left", [] {
        const long left = bnum_allocs();
        if (left == 0) return std::string();
        return "libobs still holds " + std::to_string(left) + " allocations after shutdown";
    });
    return true;
}();

}  // namespace
}  // namespace obs_sayline::test
