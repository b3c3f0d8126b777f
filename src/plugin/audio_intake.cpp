#include "plugin/audio_intake.h"

#include <media-io/audio-io.h>

#include <atomic>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

#include "core/logger.h"
#include "plugin/recognition_worker.h"
#include "plugin/subtitle_source_data.h"
#include "plugin/text_source.h"
#include "stt/deepgram_engine.h"
#include "stt/stt_factory.h"
#include "stt/whisper_api_engine.h"
#include "translation/provider_factory.h"

namespace obs_sayline {
namespace {

constexpr size_t kMixIndex = 0;

std::atomic<bool> firstCallbackSeen{false};
std::atomic<bool> firstDataSeen{false};

// Creates, initialises and keys the STT engine; false when its initialisation failed.
bool prepareEngine(SubtitleSourceData& data) {
    if (data.sttEngine) return true;
    const auto type = static_cast<SttEngineType>(data.sttEngineType);
    auto engine = SttFactory::create(type);
    if (!engine) return true;

    SttEngineConfig config;
    config.engineType = type;
    config.language = data.sourceLanguage;
    config.wordTimestamps = false;
    auto initialized = engine->initialize(config);
    if (!initialized) {
        logErrorTag("STT", "Failed to initialize STT engine: %s",
                    initialized.error().message.c_str());
        return false;
    }

    if (type == SttEngineType::WhisperApi) {
        auto* whisper = dynamic_cast<WhisperApiEngine*>(engine.get());
        if (data.sttApiKey.empty()) {
            logWarning("STT API key not set - check settings");
        } else if (whisper) {
            whisper->setApiKey(data.sttApiKey);
            logInfo("Whisper API key configured");
        } else {
            logWarning("Failed to set API key - dynamic_cast failed");
        }
    } else if (type == SttEngineType::Deepgram) {
        auto* deepgram = dynamic_cast<DeepgramEngine*>(engine.get());
        if (data.sttApiKey.empty()) {
            logWarning("Deepgram API key not set - check settings");
        } else if (deepgram) {
            deepgram->setApiKey(data.sttApiKey);
            logInfo("Deepgram API key configured");
        } else {
            logWarning("Failed to set Deepgram API key - dynamic_cast failed");
        }
    }
    logInfoTag("STT", "STT engine initialized: %s", engine->getName().c_str());
    data.sttEngine = std::move(engine);
    return true;
}

void prepareTranslator(SubtitleSourceData& data) {
    if (!data.enableTranslation || data.translationProviderType == 0 || data.translator) return;
    const auto type = static_cast<ProviderType>(data.translationProviderType);
    auto provider = ProviderFactory::create(type);
    if (!provider) return;

    ProviderConfig config;
    config.type = type;
    auto initialized = provider->initialize(config);
    if (!initialized) {
        logErrorTag("Translation", "Failed to initialize translation provider: %s",
                    initialized.error().message.c_str());
        return;
    }
    if (!data.translationApiKey.empty()) {
        provider->setApiKey(data.translationApiKey);
        logInfo("Translation API key configured");
    } else {
        logWarning("Translation API key not set");
    }
    logInfoTag("Translation", "Translation provider initialized: %s", provider->getName());
    data.translator = std::move(provider);
}

void connectAudio(SubtitleSourceData& data) {
    if (data.audioConnected) return;
    audio_t* audio = obs_get_audio();
    if (!audio) {
        logErrorTag("Audio", "obs_get_audio() returned NULL");
        return;
    }
    audio_convert_info conversion{};
    conversion.samples_per_sec = kIntakeSampleRate;
    conversion.format = AUDIO_FORMAT_FLOAT_PLANAR;
    conversion.speakers = SPEAKERS_MONO;
    if (!audio_output_connect(audio, kMixIndex, &conversion, &subtitle_source_audio, &data)) {
        logErrorTag("Audio", "Failed to connect to OBS audio output");
        return;
    }
    data.audioConnected = true;
    logInfoTag("Audio", "Connected to OBS audio output (16kHz mono)");
}

}  // namespace

std::shared_ptr<const RecognitionSetup> makeRecognitionSetup(const SubtitleSourceData& data) {
    auto setup = std::make_shared<RecognitionSetup>();
    setup->engine = data.sttEngine;
    setup->translator = data.translator;
    setup->enableTranslation = data.enableTranslation;
    setup->showOriginal = data.showOriginal;
    setup->sourceLanguage = data.sourceLanguage;
    setup->targetLanguage = data.targetLanguage;
    return setup;
}

void startCapture(SubtitleSourceData& data) {
    if (data.capturing.load() || data.sttEngineType == 0) return;
    logInfo("Starting audio capture...");
    data.capturing.store(true);
    data.audioPositionMs.store(0);

    if (!prepareEngine(data)) return;
    prepareTranslator(data);
    // Published before the audio callback is connected; the audio thread only reads it.
    data.recognition = makeRecognitionSetup(data);

    connectAudio(data);
    logInfo("Audio capture started");
}

void stopCapture(SubtitleSourceData& data) {
    stopCapture(data, obs_in_task_thread(OBS_TASK_GRAPHICS) ? LeftoverRecognition::Worker
                                                            : LeftoverRecognition::CallingThread);
}

void stopCapture(SubtitleSourceData& data, LeftoverRecognition leftover) {
    if (!data.capturing.load()) return;
    logInfo("Stopping audio capture...");
    data.capturing.store(false);

    if (data.audioConnected) {
        if (audio_t* audio = obs_get_audio()) {
            // Waits for a callback in progress: no append runs after this.
            audio_output_disconnect(audio, kMixIndex, &subtitle_source_audio, &data);
            logInfoTag("Audio", "Disconnected from OBS audio output");
        }
        data.audioConnected = false;
    }

    // What was collected since the last chunk is still recognised. A worker that is busy takes
    // it after its current chunk, so recognition never overlaps and the stop does not wait on
    // the network behind it. A stop that must not wait at all leaves it to a worker either way.
    SourceSharedState& shared = *data.shared;
    if (leftover == LeftoverRecognition::Worker) {
        std::vector<float> samples;
        {
            std::lock_guard<std::mutex> lock(shared.bufferMutex);
            samples.assign(shared.audioBuffer.begin(), shared.audioBuffer.end());
            shared.audioBuffer.clear();
        }
        handOverToWorker(data.shared, makeRecognitionSetup(data), std::move(samples));
    } else {
        bool handedToWorker = false;
        {
            std::lock_guard<std::mutex> lock(shared.bufferMutex);
            if (shared.workerRunning.load() && !shared.audioBuffer.empty()) {
                shared.handedOver.insert(shared.handedOver.end(), shared.audioBuffer.begin(),
                                         shared.audioBuffer.end());
                shared.audioBuffer.clear();
                handedToWorker = true;
            }
        }
        if (!handedToWorker) processBufferedAudio(shared, *makeRecognitionSetup(data));
    }
    {
        std::lock_guard<std::mutex> lock(shared.bufferMutex);
        shared.audioBuffer.clear();
    }

    setText(data, "");
    logInfo("Audio capture stopped");
}

void subtitle_source_audio(void* param, size_t, struct audio_data* audio) {
    if (!param || !audio || !audio->data[0]) return;
    if (!firstCallbackSeen.exchange(true)) {
        logInfoTag("Audio", "obs_audio_output_callback first call: frames=%u", audio->frames);
    }
    appendAudio(*static_cast<SubtitleSourceData*>(param),
                reinterpret_cast<const float*>(audio->data[0]), audio->frames);
}

void appendAudio(SubtitleSourceData& data, const float* samples, size_t count) {
    if (!data.capturing.load() || !data.sttEngine || !data.recognition) return;
    if (!firstDataSeen.exchange(true)) {
        logInfoTag("Audio", "First audio data received: %u frames", static_cast<unsigned>(count));
    }

    SourceSharedState& shared = *data.shared;
    std::lock_guard<std::mutex> lock(shared.bufferMutex);
    auto& buffer = shared.audioBuffer;
    buffer.insert(buffer.end(), samples, samples + count);
    const double bufferedMs = static_cast<double>(buffer.size()) * 1000.0 / kIntakeSampleRate;
    if (bufferedMs < kChunkMs) return;

    if (shared.workerRunning.load()) {
        // The busy worker takes the newest 3 s when it is done; older audio is dropped.
        if (buffer.size() > kOverflowSamples) {
            buffer.erase(buffer.begin(), buffer.end() - static_cast<long>(kChunkSamples));
        }
        return;
    }
    logInfoTag("Audio", "Buffer full (%.0fms), starting STT processing...", bufferedMs);
    if (!shared.workerRunning.exchange(true)) {
        try {
            startRecognitionWorker(data.shared, data.recognition);
        } catch (const std::exception& e) {
            shared.workerRunning.store(false);
            logErrorTag("STT-Thread", "Failed to start worker thread: %s", e.what());
        }
    }
}

void subtitle_source_activate(void* data) {
    logInfo(">>> subtitle_source_show (activate) called");
    if (!data) {
        logError("subtitle_source_show: data is NULL!");
        return;
    }
    logInfo("Sayline source shown - starting capture");
    startCapture(*static_cast<SubtitleSourceData*>(data));
}

void subtitle_source_deactivate(void* data) {
    if (!data) return;
    logInfo("Sayline source hidden");
    stopCapture(*static_cast<SubtitleSourceData*>(data));
}

}  // namespace obs_sayline
