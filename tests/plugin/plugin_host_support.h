#pragma once

// Helpers for the Sayline source tests inside the headless host: waiting, settings, the
// module's own record behind a source, and the pixels of rendered text.

#include <gtest/gtest.h>
#include <obs.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/harness/frame_grabber.h"
#include "plugin/subtitle_source_data.h"
#include "support/host_log_capture.h"

namespace obs_sayline::test {

inline bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A log line a Sayline source writes about itself: "[obs-sayline] Sayline source 'NAME' rest".
inline std::string sourceLine(obs_source_t* source, const std::string& rest) {
    const char* name = source ? obs_source_get_name(source) : nullptr;
    return std::string("[obs-sayline] Sayline source ") +
           (name && *name ? "'" + std::string(name) + "' " : "") + rest;
}

inline bool waitForLine(const std::string& text, std::chrono::milliseconds timeout) {
    return waitUntil([&] { return HostLogCapture::instance().contains(text); }, timeout);
}

// For lines that earlier tests may have logged already: waits for one more than `before`.
inline bool waitForAnotherLine(const std::string& text, size_t before,
                               std::chrono::milliseconds timeout) {
    return waitUntil([&] { return HostLogCapture::instance().count(text) > before; }, timeout);
}

// A settings change, which the host applies to a video source in its next video tick; returns
// once it has been applied. (Waiting on the host log also lets ThreadSanitizer see that the
// settings were written before the tick read them: libobs hands them over with an atomic it
// cannot see.)
template <typename Change>
void updateInVideoTick(obs_source_t* source, Change&& change) {
    const std::string applied = sourceLine(source, "update processing...");
    const size_t before = HostLogCapture::instance().count(applied);
    obs_data_t* settings = obs_data_create();
    change(settings);
    obs_source_update(source, settings);
    obs_data_release(settings);
    EXPECT_TRUE(waitForAnotherLine(applied, before, std::chrono::seconds(5)));
}

// Releases the Sayline sources (null ones skipped) and waits until the module has destroyed
// each; the host destroys them on a thread of its own.
inline bool releaseAndWaitDestroyed(const std::vector<obs_source_t*>& sources,
                                    std::chrono::milliseconds timeout) {
    // Each source's own line, and how often it must have been logged by the end.
    std::map<std::string, size_t> awaited;
    for (obs_source_t* source : sources) {
        if (!source) continue;
        const std::string destroyed = sourceLine(source, "destroyed");
        auto [at, fresh] = awaited.emplace(destroyed, 0);
        if (fresh) at->second = HostLogCapture::instance().count(destroyed);
        ++at->second;
    }
    for (obs_source_t* source : sources) {
        if (source) obs_source_release(source);
    }
    return waitUntil(
        [&] {
            for (const auto& [line, wanted] : awaited) {
                if (HostLogCapture::instance().count(line) < wanted) return false;
            }
            return true;
        },
        timeout);
}

// What the source's get_status procedure answers.
struct Status {
    std::string text;
    std::string code;
};

inline Status statusOf(obs_source_t* source) {
    calldata_t call;
    calldata_init(&call);
    Status status;
    if (proc_handler_call(obs_source_get_proc_handler(source), "get_status", &call)) {
        const char* text = calldata_string(&call, "text");
        const char* code = calldata_string(&call, "code");
        status = {text ? text : "", code ? code : ""};
    }
    calldata_free(&call);
    return status;
}

// What the property sheet's status row says.
inline std::string statusRow(obs_source_t* source) {
    obs_properties_t* props = obs_source_properties(source);
    obs_property_t* row = obs_properties_get(props, "status");
    std::string text = row ? obs_property_description(row) : "<no status row>";
    obs_properties_destroy(props);
    return text;
}

// A Whisper API verbose reply: `text` (already JSON-escaped) as one segment of `seconds`.
inline std::string whisperReply(const std::string& text, double seconds = 3.0,
                                double avgLogprob = -0.1) {
    const std::string length = std::to_string(seconds);
    return R"({"text":")" + text + R"(","language":"english","duration":)" + length +
           R"(,"segments":[{"start":0.0,"end":)" + length + R"(,"avg_logprob":)" +
           std::to_string(avgLogprob) + R"(,"no_speech_prob":0.01}]})";
}

// The key a request carried after its scheme ("Bearer", "Token").
inline std::string keyOfAuthorization(const std::string& authorization) {
    const size_t space = authorization.rfind(' ');
    return space == std::string::npos ? authorization : authorization.substr(space + 1);
}

// The module's record behind a Sayline source (same layout: built from the same header).
inline SubtitleSourceData* recordOf(obs_source_t* source) {
    return static_cast<SubtitleSourceData*>(obs_obj_get_data(source));
}

inline std::string pendingTextOf(obs_source_t* source) {
    return recordOf(source)->scene->pendingText();
}

// Runs `work` on the graphics thread, between two video ticks (the host calls its tick
// callbacks before it ticks the sources), so what the sources' ticks write is read in order.
// False when no tick came within `timeout`.
inline bool betweenVideoTicks(const std::function<void()>& work,
                              std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    struct Call {
        explicit Call(const std::function<void()>& w) : work(w) {}
        const std::function<void()>& work;
        std::mutex mutex;
        std::condition_variable done;
        bool ran = false;
    } call(work);
    auto tick = [](void* param, float) {
        auto* c = static_cast<Call*>(param);
        std::lock_guard<std::mutex> lock(c->mutex);
        if (c->ran) return;
        c->work();
        c->ran = true;
        c->done.notify_all();
    };
    obs_add_tick_callback(tick, &call);
    bool ran = false;
    {
        std::unique_lock<std::mutex> lock(call.mutex);
        ran = call.done.wait_for(lock, timeout, [&] { return call.ran; });
    }
    // Once removed, the host calls it no more: `call` may go.
    obs_remove_tick_callback(tick, &call);
    return ran;
}

// The "text" settings of the source's private text sources, one per drawn row, joined by line
// breaks (empty rows left out).
inline std::string shownTextOf(obs_source_t* source) {
    SubtitleSourceData* data = recordOf(source);
    if (!data) return "<no record>";
    std::string shown;
    betweenVideoTicks([&] {
        for (const auto& row : data->rows->all()) {
            obs_source_t* text = row->acquire();
            if (!text) continue;
            obs_data_t* settings = obs_source_get_settings(text);
            const std::string line = obs_data_get_string(settings, "text");
            obs_data_release(settings);
            obs_source_release(text);
            if (line.empty()) continue;
            if (!shown.empty()) shown += '\n';
            shown += line;
        }
    });
    return shown;
}

// A copy of the settings of the source's text source of row `index` (null when it has none),
// taken between ticks like shownTextOf; release it with obs_data_release.
inline obs_data_t* rowSettingsCopy(obs_source_t* source, size_t index) {
    SubtitleSourceData* data = recordOf(source);
    std::shared_ptr<PrivateTextSource> row = data ? data->rows->row(index) : nullptr;
    if (!row) return nullptr;
    obs_data_t* copy = nullptr;
    betweenVideoTicks([&] {
        obs_source_t* text = row->acquire();
        if (!text) return;
        obs_data_t* settings = obs_source_get_settings(text);
        copy = obs_data_create();
        obs_data_apply(copy, settings);
        obs_data_release(settings);
        obs_source_release(text);
    });
    return copy;
}

// An integer setting of the source's first text source, read like shownTextOf.
inline long long shownSettingOf(obs_source_t* source, const char* key) {
    SubtitleSourceData* data = recordOf(source);
    std::shared_ptr<PrivateTextSource> first = data ? data->rows->row(0) : nullptr;
    if (!first || !first->exists()) return -1;
    long long value = -1;
    betweenVideoTicks([&] {
        obs_source_t* text = first->acquire();
        if (!text) return;
        obs_data_t* settings = obs_source_get_settings(text);
        value = obs_data_get_int(settings, key);
        obs_data_release(settings);
        obs_source_release(text);
    });
    return value;
}

// Bounding box of the bright (text) pixels of a frame inside rows [0, maxY).
struct PixelBox {
    int count = 0;
    uint32_t left = UINT32_MAX, top = UINT32_MAX, right = 0, bottom = 0;
    double centreX() const { return (left + right) / 2.0; }
    double centreY() const { return (top + bottom) / 2.0; }
};

inline PixelBox brightPixels(const Frame& frame, uint32_t maxY) {
    PixelBox box;
    for (uint32_t y = 0; y < frame.height && y < maxY; ++y) {
        for (uint32_t x = 0; x < frame.width; ++x) {
            const uint8_t* p = frame.pixel(x, y);
            if (p[0] > 180 && p[1] > 180 && p[2] > 180) {
                ++box.count;
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
        }
    }
    return box;
}

// What tesseract reads in the top `height` rows of a frame (white text made dark on light), in
// `languages` ("eng", "kor+eng"); empty when it cannot be run.
inline std::string ocrText(const Frame& frame, uint32_t height, const std::string& languages) {
    char path[] = "/tmp/sayline-ocr-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return "";
    height = std::min(height, frame.height);
    std::string bytes =
        "P5\n" + std::to_string(frame.width) + " " + std::to_string(height) + "\n255\n";
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < frame.width; ++x) {
            const uint8_t* p = frame.pixel(x, y);
            bytes += static_cast<char>(255 - (p[0] + p[1] + p[2]) / 3);
        }
    }
    const bool written =
        write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    close(fd);
    std::string text;
    if (written) {
        const std::string command =
            std::string("tesseract ") + path + " stdout -l " + languages + " --psm 6 2>/dev/null";
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[512];
            for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
            pclose(pipe);
        }
    }
    unlink(path);
    return text;
}

}  // namespace obs_sayline::test
