#include "plugin/closed_caption_sink.h"

#include <obs-frontend-api.h>
#include <obs.h>

#include <algorithm>
#include <utility>

#include "core/language_tables.h"
#include "core/logger.h"
#include "output/cea608_text.h"
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

void warnUncarriedScript(const FinishedSubtitle& subtitle, bool original,
                         const std::string& script) {
    const std::string& code = original ? subtitle.sourceLanguage : subtitle.targetLanguage;
    const std::string language =
        code.empty() ? "this language" : languages::geminiLanguageName(code);
    if (original) {
        logWarningTag("Captions",
                      "Subtitles in %s are not sent as closed captions: CEA-608 has no %s "
                      "characters. The scene text still shows them",
                      language.c_str(), script.c_str());
    } else {
        logWarningTag("Captions",
                      "Subtitles in %s are not sent as closed captions: CEA-608 has no %s "
                      "characters. Set \"Caption text\" to \"Original\", or rely on the scene text",
                      language.c_str(), script.c_str());
    }
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

ClosedCaptionSink::ClosedCaptionSink(Sender send) : send_(std::move(send)) {}

void ClosedCaptionSink::configure(bool enabled, CaptionText text) {
    text_.store(text);
    enabled_.store(enabled);
}

void ClosedCaptionSink::deliver(const FinishedSubtitle& subtitle) {
    // A caption cannot be taken back once sent: only finished lines go out.
    if (subtitle.interim || !enabled_.load()) return;
    const bool original = text_.load() == CaptionText::Original || subtitle.translation.empty();
    const Cea608Characters carried =
        toCea608Characters(original ? subtitle.original : subtitle.translation);
    if (!carried.refusedScript.empty()) {
        if (!warned_.exchange(true)) warnUncarriedScript(subtitle, original, carried.refusedScript);
        return;
    }
    const std::vector<std::string> rows = cea608Captions(carried.text);
    if (rows.empty()) return;

    // The captions share the subtitle's time on screen; the empty one after them clears it
    // when that time is up (the host shows a caption until the next one replaces it).
    const double share =
        std::max(subtitle.displayMs, 0) / 1000.0 / static_cast<double>(rows.size());
    std::vector<OutputCaption> captions;
    captions.reserve(rows.size() + 1);
    for (const auto& row : rows) captions.push_back({row, share});
    captions.push_back({"", 0.0});

    const size_t reached = send_(captions);
    if (lastReached_.exchange(reached) != reached) {
        if (reached == 0) {
            logInfoTag("Captions", "No active output carries encoded video: closed captions wait");
        } else {
            logInfoTag("Captions", "Closed captions go to %zu output(s)", reached);
        }
    }
}

}  // namespace obs_sayline
