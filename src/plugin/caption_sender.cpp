#include "plugin/caption_sender.h"

#include <obs-frontend-api.h>
#include <obs.h>

#include <algorithm>

#include "plugin/callback_guard.h"

namespace obs_sayline {
namespace {

// Output references taken for one round of sending, released together.
class OutputRefs {
public:
    OutputRefs() { outputs_.reserve(8); }
    ~OutputRefs() {
        for (obs_output_t* output : outputs_) obs_output_release(output);
    }
    OutputRefs(const OutputRefs&) = delete;
    OutputRefs& operator=(const OutputRefs&) = delete;

    // Takes over a reference (null is ignored).
    void adopt(obs_output_t* output) {
        if (!output) return;
        try {
            outputs_.push_back(output);
        } catch (...) {
            obs_output_release(output);
            throw;
        }
    }

    // Releases the references of outputs that fail `keep`.
    template <typename Keep>
    void filter(Keep&& keep) {
        auto end = std::stable_partition(outputs_.begin(), outputs_.end(), keep);
        for (auto it = end; it != outputs_.end(); ++it) obs_output_release(*it);
        outputs_.erase(end, outputs_.end());
    }

    const std::vector<obs_output_t*>& list() const { return outputs_; }
    bool empty() const { return outputs_.empty(); }

private:
    std::vector<obs_output_t*> outputs_;
};

bool carriesEncodedVideo(obs_output_t* output) {
    const uint32_t flags = obs_output_get_flags(output);
    return (flags & OBS_OUTPUT_VIDEO) != 0 && (flags & OBS_OUTPUT_ENCODED) != 0 &&
           obs_output_active(output) && obs_output_get_video_encoder(output) != nullptr;
}

// Asked once per process: without a front end every front-end call logs a warning of its own.
// OBS sets its front end up before it loads modules, so the answer does not change.
bool frontEndPresent() {
    static const bool present = obs_frontend_get_main_window() != nullptr;
    return present;
}

// Host callback of obs_enum_outputs (which holds the host's output list lock meanwhile).
bool collectCaptionOutput(void* param, obs_output_t* output) {
    return guardCallback("closed caption output search", true, [&] {
        if (output && carriesEncodedVideo(output)) {
            static_cast<OutputRefs*>(param)->adopt(obs_output_get_ref(output));
        }
        return true;
    });
}

void findCaptionOutputs(OutputRefs& outputs) {
    if (frontEndPresent()) {
        outputs.adopt(obs_frontend_get_streaming_output());
        outputs.adopt(obs_frontend_get_recording_output());
        outputs.adopt(obs_frontend_get_replay_buffer_output());
        const bool answered = !outputs.empty();
        outputs.filter(carriesEncodedVideo);
        if (answered) return;
    }
    obs_enum_outputs(collectCaptionOutput, &outputs);
}

}  // namespace

size_t sendToActiveOutputs(const std::vector<OutputCaption>& captions) {
    OutputRefs outputs;
    findCaptionOutputs(outputs);
    for (obs_output_t* output : outputs.list()) {
        for (const auto& caption : captions) {
            obs_output_output_caption_text2(output, caption.text.c_str(), caption.seconds);
        }
    }
    return outputs.list().size();
}

}  // namespace obs_sayline
