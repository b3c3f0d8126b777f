#pragma once

#include <media-io/audio-resampler.h>
#include <obs.h>

#include <atomic>
#include <mutex>
#include <string>

namespace obs_sayline {

class LivePath;
class SourceStatus;

// Listens to one source of the host, chosen by name, instead of the program audio. Whatever
// the host delivers it as, its audio is mixed down to mono and resampled to 16 kHz with the
// host's own resampler and fed to the live path.
//
// The source is held by a weak reference, so it can go at any time: when it is removed the
// status says so and captioning waits; a source of that name appearing again is taken up by
// itself, and a rename is followed (and written into the Sayline source's settings, so the
// next start finds it under its new name). The host's source signals come from whichever
// thread creates, removes or renames a source; they take `mutex_`, which the audio callback
// never touches.
class SourceAudioIntake {
public:
    // `owner` is the Sayline source (its settings follow a rename); `paused` drops all audio.
    SourceAudioIntake(LivePath& live, const std::atomic<bool>& paused, SourceStatus& status,
                      obs_source_t* owner, std::string name);
    ~SourceAudioIntake();
    SourceAudioIntake(const SourceAudioIntake&) = delete;
    SourceAudioIntake& operator=(const SourceAudioIntake&) = delete;

    // Resamples what the host hands audio capture callbacks (its own output format), follows
    // the host's source signals and takes the source when it exists. False (logged) when the
    // host has no audio output.
    bool start();

    // Makes the resampler for audio that arrives as `input`, with its output buffer grown for
    // blocks of up to a second, so the audio callback does not allocate.
    bool prepareResampler(const resample_info& input);

    // The name listened for (it changes with a rename).
    std::string name() const;
    // Whether the source is there and its audio is taken.
    bool following() const;

    // Host audio capture callback (the followed source's audio thread): param is the intake.
    // Never waits; does not allocate in the common case.
    static void capture(void* param, obs_source_t* source, const audio_data* audio, bool muted);

private:
    static void sourceCreated(void* param, calldata_t* data);
    static void sourceGone(void* param, calldata_t* data);
    static void sourceRenamed(void* param, calldata_t* data);
    void takeLocked(obs_source_t* source);
    void letGoLocked();
    void followRenameLocked(const std::string& newName);

    LivePath& live_;
    const std::atomic<bool>& paused_;
    SourceStatus& status_;
    obs_source_t* owner_;
    audio_resampler_t* resampler_ = nullptr;
    bool signalsConnected_ = false;

    mutable std::mutex mutex_;
    std::string name_;
    obs_weak_source_t* weak_ = nullptr;
    // The followed source itself, for taking the callback off it; valid while `weak_` is set,
    // since its destruction signal clears both first.
    obs_source_t* followed_ = nullptr;
    bool stopping_ = false;

    bool muted_ = false;  // audio thread
};

}  // namespace obs_sayline
