#include "host/harness/host_recording.h"

#include <chrono>
#include <functional>
#include <thread>

namespace obs_sayline::test {
namespace {

bool waitFor(const std::function<bool()>& condition, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace

HostRecording::~HostRecording() {
    if (active()) stop();
    if (output_) {
        signal_handler_disconnect(obs_output_get_signal_handler(output_), "stop", &onStop, this);
    }
    obs_output_release(output_);
    obs_encoder_release(video_);
    obs_encoder_release(audio_);
}

bool HostRecording::start(const std::string& path) {
    obs_data_t* x264 = obs_data_create();
    obs_data_set_string(x264, "rate_control", "CBR");
    obs_data_set_int(x264, "bitrate", 1000);
    obs_data_set_string(x264, "preset", "ultrafast");
    obs_data_set_string(x264, "tune", "zerolatency");
    obs_data_set_string(x264, "profile", "baseline");
    obs_data_set_int(x264, "keyint_sec", 2);
    video_ = obs_video_encoder_create("obs_x264", (name_ + " x264").c_str(), x264, nullptr);
    obs_data_release(x264);
    obs_data_t* aac = obs_data_create();
    obs_data_set_int(aac, "bitrate", 128);
    audio_ = obs_audio_encoder_create("ffmpeg_aac", (name_ + " aac").c_str(), aac, 0, nullptr);
    obs_data_release(aac);
    obs_data_t* muxer = obs_data_create();
    obs_data_set_string(muxer, "path", path.c_str());
    output_ = obs_output_create("ffmpeg_muxer", (name_ + " recording").c_str(), muxer, nullptr);
    obs_data_release(muxer);
    if (!video_ || !audio_ || !output_) return false;

    obs_encoder_set_scaled_size(video_, 640, 360);
    obs_encoder_set_video(video_, obs_get_video());
    obs_encoder_set_audio(audio_, obs_get_audio());
    obs_output_set_video_encoder(output_, video_);
    obs_output_set_audio_encoder(output_, audio_, 0);
    signal_handler_connect(obs_output_get_signal_handler(output_), "stop", &onStop, this);
    if (!obs_output_start(output_)) return false;
    return waitFor([this] { return obs_output_active(output_); }, std::chrono::seconds(10));
}

bool HostRecording::stop() {
    obs_output_stop(output_);
    return waitFor([this] { return stopped_.load() && !obs_output_active(output_); },
                   std::chrono::seconds(15));
}

void HostRecording::onStop(void* param, calldata_t*) {
    static_cast<HostRecording*>(param)->stopped_.store(true);
}

}  // namespace obs_sayline::test
