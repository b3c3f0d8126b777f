#include "plugin/source_audio_intake.h"

#include <media-io/audio-io.h>

#include <utility>
#include <vector>

#include "core/logger.h"
#include "live/chunker.h"
#include "live/live_path.h"
#include "live/source_status.h"
#include "plugin/audio_intake.h"
#include "plugin/callback_guard.h"
#include "plugin/settings_keys.h"

namespace obs_sayline {
namespace {

// The host's source signals that matter here: a source appears, goes, or changes its name.
constexpr const char* kCreated = "source_create";
constexpr const char* kRemoved = "source_remove";
constexpr const char* kDestroyed = "source_destroy";
constexpr const char* kRenamed = "source_rename";

bool hasAudio(obs_source_t* source) {
    return source && (obs_source_get_output_flags(source) & OBS_SOURCE_AUDIO) != 0;
}

// A source of that name that is still in use.
obs_source_t* findSource(const std::string& name) {
    obs_source_t* source = obs_get_source_by_name(name.c_str());
    if (source && (obs_source_removed(source) || !hasAudio(source))) {
        obs_source_release(source);
        return nullptr;
    }
    return source;
}

}  // namespace

SourceAudioIntake::SourceAudioIntake(LivePath& live, const std::atomic<bool>& paused,
                                     SourceStatus& status, obs_source_t* owner, std::string name)
    : live_(live), paused_(paused), status_(status), owner_(owner), name_(std::move(name)) {}

SourceAudioIntake::~SourceAudioIntake() {
    {
        // Taken off the source while its destruction signal still reaches us: until then the
        // source is alive, and once that signal has run there is nothing left to take off.
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        if (followed_) {
            letGoLocked();
            logInfoTag("Audio", "Stopped listening to audio source '%s'", name_.c_str());
        }
    }
    if (signalsConnected_) {
        // Waits for a signal callback in progress; none starts after this.
        signal_handler_t* signals = obs_get_signal_handler();
        signal_handler_disconnect(signals, kCreated, &sourceCreated, this);
        signal_handler_disconnect(signals, kRemoved, &sourceGone, this);
        signal_handler_disconnect(signals, kDestroyed, &sourceGone, this);
        signal_handler_disconnect(signals, kRenamed, &sourceRenamed, this);
    }
    audio_resampler_destroy(resampler_);
}

bool SourceAudioIntake::prepareResampler(const resample_info& input) {
    resample_info output{};
    output.samples_per_sec = kIntakeSampleRate;
    output.format = AUDIO_FORMAT_FLOAT_PLANAR;
    output.speakers = SPEAKERS_MONO;
    audio_resampler_destroy(resampler_);
    const size_t channels = get_audio_channels(input.speakers);
    resampler_ = channels > 0 ? audio_resampler_create(&output, &input) : nullptr;
    if (!resampler_) {
        logErrorTag("Audio", "Cannot resample %u Hz audio to 16 kHz mono", input.samples_per_sec);
        return false;
    }
    // The resampler grows its output buffer to the largest block it has seen: one second of
    // silence now, so the blocks of a real source (10 to 100 ms) never make it allocate on
    // the audio thread. The few samples of delay this leaves are silence.
    const uint32_t frames = input.samples_per_sec;
    const size_t planes = is_audio_planar(input.format) ? channels : 1;
    std::vector<uint8_t> silence(static_cast<size_t>(frames) *
                                 get_audio_bytes_per_channel(input.format) * (channels / planes));
    const uint8_t* in[MAX_AV_PLANES] = {};
    for (size_t i = 0; i < planes && i < MAX_AV_PLANES; ++i) in[i] = silence.data();
    uint8_t* out[MAX_AV_PLANES] = {};
    uint32_t outFrames = 0;
    uint64_t offset = 0;
    audio_resampler_resample(resampler_, out, &outFrames, &offset, in, frames);
    return true;
}

bool SourceAudioIntake::start() {
    audio_t* audio = obs_initialized() ? obs_get_audio() : nullptr;
    if (!audio) {
        logErrorTag("Audio", "obs_get_audio() returned NULL");
        return false;
    }
    // Capture callbacks get a source's audio after the host has converted it to its own
    // rate and layout, as planar float.
    const audio_output_info* info = audio_output_get_info(audio);
    resample_info input{};
    input.samples_per_sec = info->samples_per_sec;
    input.format = AUDIO_FORMAT_FLOAT_PLANAR;
    input.speakers = info->speakers;
    if (!prepareResampler(input)) return false;

    signal_handler_t* signals = obs_get_signal_handler();
    signal_handler_connect(signals, kCreated, &sourceCreated, this);
    signal_handler_connect(signals, kRemoved, &sourceGone, this);
    signal_handler_connect(signals, kDestroyed, &sourceGone, this);
    signal_handler_connect(signals, kRenamed, &sourceRenamed, this);
    signalsConnected_ = true;

    // Looked up without our mutex: the host holds its source list's lock while it ticks
    // sources, and a tick may lead to our signal callbacks, which take ours.
    obs_source_t* source = findSource(name());
    std::lock_guard<std::mutex> lock(mutex_);
    // A source created (or renamed) since the signals were connected may be taken already.
    if (source && !followed_ && name_ == obs_source_get_name(source)) takeLocked(source);
    if (source) obs_source_release(source);
    if (!followed_) {
        logWarningTag("Audio", "Audio source '%s' not found - waiting for it", name_.c_str());
        status_.audioSourceMissing(name_);
    }
    return true;
}

std::string SourceAudioIntake::name() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return name_;
}

bool SourceAudioIntake::following() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return followed_ != nullptr;
}

void SourceAudioIntake::takeLocked(obs_source_t* source) {
    weak_ = obs_source_get_weak_source(source);
    followed_ = source;
    muted_ = false;  // no callback runs until the next line
    obs_source_add_audio_capture_callback(source, &capture, this);
    logInfoTag("Audio", "Listening to audio source '%s'", name_.c_str());
    status_.audioSourceFound(name_);
}

void SourceAudioIntake::letGoLocked() {
    // Returns once no callback of ours is running on that source.
    obs_source_remove_audio_capture_callback(followed_, &capture, this);
    obs_weak_source_release(weak_);
    weak_ = nullptr;
    followed_ = nullptr;
}

void SourceAudioIntake::followRenameLocked(const std::string& newName) {
    logInfoTag("Audio", "Audio source '%s' renamed to '%s' - following it", name_.c_str(),
               newName.c_str());
    name_ = newName;
    status_.audioSourceFound(name_);
    if (!owner_) return;
    obs_data_t* settings = obs_source_get_settings(owner_);
    obs_data_set_string(settings, keys::kAudioSource, name_.c_str());
    obs_data_release(settings);
}

void SourceAudioIntake::sourceCreated(void* param, calldata_t* data) {
    guardCallback("source_create (audio source)", [&] {
        auto* self = static_cast<SourceAudioIntake*>(param);
        auto* source = static_cast<obs_source_t*>(calldata_ptr(data, "source"));
        if (!self || !hasAudio(source)) return;
        const char* name = obs_source_get_name(source);
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (self->stopping_ || self->followed_ || !name || self->name_ != name) return;
        self->takeLocked(source);
    });
}

void SourceAudioIntake::sourceGone(void* param, calldata_t* data) {
    guardCallback("source_remove (audio source)", [&] {
        auto* self = static_cast<SourceAudioIntake*>(param);
        auto* source = static_cast<obs_source_t*>(calldata_ptr(data, "source"));
        if (!self || !source) return;
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (self->stopping_ || !self->followed_ || self->followed_ != source) return;
        self->letGoLocked();
        logWarningTag("Audio", "Audio source '%s' is gone - waiting for it to come back",
                      self->name_.c_str());
        self->status_.audioSourceMissing(self->name_);
    });
}

void SourceAudioIntake::sourceRenamed(void* param, calldata_t* data) {
    guardCallback("source_rename (audio source)", [&] {
        auto* self = static_cast<SourceAudioIntake*>(param);
        auto* source = static_cast<obs_source_t*>(calldata_ptr(data, "source"));
        const char* newName = calldata_string(data, "new_name");
        if (!self || !source || !newName) return;
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (self->stopping_) return;
        if (self->followed_ == source) {
            self->followRenameLocked(newName);
        } else if (!self->followed_ && self->name_ == newName && hasAudio(source) &&
                   !obs_source_removed(source)) {
            // A source renamed to the name we wait for.
            self->takeLocked(source);
        }
    });
}

void SourceAudioIntake::capture(void* param, obs_source_t*, const audio_data* audio, bool muted) {
    guardCallback("source_audio_capture", [&] {
        auto* self = static_cast<SourceAudioIntake*>(param);
        if (!self || !audio || !audio->data[0] || audio->frames == 0) return;
        if (muted != self->muted_) {
            // Rare (someone pressed mute): the status logs it once.
            self->muted_ = muted;
            self->status_.audioSourceMuted(muted);
        }
        // A muted source is not for the audience, nor for the subtitles.
        if (muted || self->paused_.load(std::memory_order_relaxed)) return;
        uint8_t* out[MAX_AV_PLANES] = {};
        uint32_t frames = 0;
        uint64_t offset = 0;
        if (!audio_resampler_resample(self->resampler_, out, &frames, &offset, audio->data,
                                      audio->frames)) {
            return;
        }
        if (frames > 0 && out[0]) {
            self->live_.feed(reinterpret_cast<const float*>(out[0]), frames,
                             hostAudioTime(audio->timestamp, offset));
        }
    });
}

}  // namespace obs_sayline
