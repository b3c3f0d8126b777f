#include <gtest/gtest.h>
#include <obs-module.h>
#include <util/platform.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "host/harness/obs_host.h"
#include "host/harness/test_sources.h"
#include "plugin/subtitle_source_data.h"

namespace obs_sayline::test {
namespace {

std::vector<std::string> moduleTexts(const std::vector<HostLogLine>& lines) {
    std::vector<std::string> out;
    for (auto& line : lines) {
        if (line.text.rfind("[obs-sayline] ", 0) == 0) out.push_back(line.text);
    }
    return out;
}

bool waitForLine(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!HostLogCapture::instance().contains(text)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(ModuleHostTest, load_lines_appear_in_order_under_the_module_prefix) {
    const std::vector<std::string> expected = {
        "[obs-sayline] Plugin loading...",
        "[obs-sayline] [Plugin] Version: 1.0.8",
        "[obs-sayline] Sayline source registered",
        "[obs-sayline] Plugin loaded successfully",
    };
    const auto& startup = ObsHost::instance().startupLines();
    EXPECT_EQ(moduleTexts(startup), expected);
    for (auto& line : startup) {
        if (line.text.rfind("[obs-sayline] ", 0) == 0) {
            EXPECT_EQ(line.level, LOG_INFO) << line.text;
        }
    }
}

TEST(ModuleHostTest, module_reports_its_name_description_and_api_version) {
    obs_module_t* module = ObsHost::instance().saylineModule();
    ASSERT_NE(module, nullptr);
    EXPECT_STREQ(obs_get_module_name(module), "obs-sayline");
    EXPECT_STREQ(obs_get_module_description(module), "Real-time Sayline Plugin for OBS Studio");
    EXPECT_STREQ(obs_get_module_file_name(module), "obs-sayline.so");

    using VersionFn = uint32_t (*)(void);
    auto ver = reinterpret_cast<VersionFn>(os_dlsym(obs_get_module_lib(module), "obs_module_ver"));
    ASSERT_NE(ver, nullptr);
    // The API of the headers we were built against, which this host accepts.
    EXPECT_EQ(ver(), static_cast<uint32_t>(LIBOBS_API_VER));
    EXPECT_LE(ver() >> 24, obs_get_version() >> 24);
}

TEST(ModuleHostTest, one_sayline_input_type_with_video_and_custom_draw_only) {
    int found = 0;
    const char* id = nullptr;
    for (size_t i = 0; obs_enum_input_types(i, &id); ++i) {
        if (std::string(id) == "sayline_source") ++found;
    }
    EXPECT_EQ(found, 1);
    EXPECT_STREQ(obs_source_get_display_name("sayline_source"), "Sayline");
    const uint32_t flags = obs_get_source_output_flags("sayline_source");
    EXPECT_EQ(flags, 9u);
    EXPECT_EQ(flags & OBS_SOURCE_AUDIO, 0u);
}

TEST(ModuleHostTest, crash_handler_is_installed_at_load) {
    struct sigaction now {};
    sigaction(SIGSEGV, nullptr, &now);
    const struct sigaction& before = ObsHost::instance().segvActionBeforeLoad();
    EXPECT_TRUE(now.sa_flags & SA_SIGINFO);
    EXPECT_NE(reinterpret_cast<void*>(now.sa_sigaction),
              reinterpret_cast<void*>(before.sa_sigaction));
}

TEST(ModuleHostTest, source_is_created_and_destroyed_with_its_log_lines) {
    HostLogCapture::instance().clear();
    obs_source_t* source = obs_source_create("sayline_source", "subtitles", nullptr, nullptr);
    ASSERT_NE(source, nullptr);
    EXPECT_STREQ(obs_source_get_id(source), "sayline_source");
    // The first update reads the canvas: the box spans its width.
    EXPECT_EQ(obs_source_get_width(source), kHostCanvasWidth);
    EXPECT_EQ(obs_source_get_height(source), 160u);
    obs_source_release(source);
    ASSERT_TRUE(waitForLine("[obs-sayline] Sayline source 'subtitles' destroyed",
                            std::chrono::seconds(5)))
        << HostLogCapture::instance().joined();

    const std::vector<std::string> expected = {
        "[obs-sayline] Default settings applied",
        "[obs-sayline] Sayline source 'subtitles' created",
        "[obs-sayline] Sayline source 'subtitles' update processing...",
        "[obs-sayline] Sayline source 'subtitles' applied settings - STT: none, Translation: "
        "enabled, Provider: 0",
        "[obs-sayline] Sayline source 'subtitles' has no speech engine chosen - not capturing",
        "[obs-sayline] Sayline source 'subtitles' destroying",
        "[obs-sayline] Sayline source 'subtitles' destroyed",
    };
    EXPECT_EQ(moduleTexts(HostLogCapture::instance().lines()), expected);
}

TEST(ModuleHostTest, destroying_a_source_releases_its_private_text_source) {
    obs_source_t* source = obs_source_create("sayline_source", "with text", nullptr, nullptr);
    ASSERT_NE(source, nullptr);
    // The record is the module's own; its layout is the one this test was compiled with.
    auto* data = static_cast<SubtitleSourceData*>(obs_obj_get_data(source));
    ASSERT_NE(data, nullptr);
    obs_source_t* text = obs_source_create_private(kTestColorSourceId, "private text", nullptr);
    ASSERT_NE(text, nullptr);
    obs_weak_source_t* weak = obs_source_get_weak_source(text);
    // Swap the record's own text source for one the test can watch.
    data->rows->ensure(1);
    data->rows->row(0)->release();
    data->rows->row(0)->adopt(text);  // the record owns this reference now

    HostLogCapture::instance().clear();
    obs_source_release(source);
    ASSERT_TRUE(waitForLine("[obs-sayline] Sayline source 'with text' destroyed",
                            std::chrono::seconds(5)));
    obs_source_t* still = obs_weak_source_get_source(weak);
    EXPECT_EQ(still, nullptr);
    obs_source_release(still);
    obs_weak_source_release(weak);
}

// Unload happens inside obs_shutdown, after the tests; these run then.
const bool kUnloadChecks = [] {
    ObsHost::instance().addAfterShutdownCheck("unload lines follow the load lines", [] {
        auto texts = moduleTexts(HostLogCapture::instance().lines());
        const std::vector<std::string> tail = {"[obs-sayline] Plugin unloading...",
                                               "[obs-sayline] Plugin unloaded"};
        if (texts.size() < 2 || std::vector<std::string>(texts.end() - 2, texts.end()) != tail) {
            return "the last module lines are not the unload lines:\n" +
                   HostLogCapture::instance().joined();
        }
        return std::string();
    });
    ObsHost::instance().addAfterShutdownCheck("crash handler removed at unload", [] {
        struct sigaction now {};
        sigaction(SIGSEGV, nullptr, &now);
        const struct sigaction& before = ObsHost::instance().segvActionBeforeLoad();
        // glibc adds its own SA_RESTORER bit when a handler is set, so compare the rest.
        const int kGlibcRestorer = 0x04000000;
        if (now.sa_sigaction != before.sa_sigaction ||
            (now.sa_flags & ~kGlibcRestorer) != (before.sa_flags & ~kGlibcRestorer)) {
            char text[160];
            std::snprintf(text, sizeof(text),
                          "SIGSEGV action %p (flags %#x) differs from %p (flags %#x) before load",
                          reinterpret_cast<void*>(now.sa_sigaction), now.sa_flags,
                          reinterpret_cast<void*>(before.sa_sigaction), before.sa_flags);
            return std::string(text);
        }
        return std::string();
    });
    return true;
}();

}  // namespace
}  // namespace obs_sayline::test
