#include "plugin/scene_text_sink.h"

#include <algorithm>

#include "core/logger.h"
#include "core/utf8_text.h"
#include "platform/host_text_source.h"
#include "plugin/source_defaults.h"
#include "plugin/text_source.h"

namespace obs_sayline {
namespace {

class FontRows final : public IRowMeasure {
public:
    FontRows(platform::TextMeasure& measure, int fontSize) : measure_(measure), size_(fontSize) {}
    RowSize measure(const std::string& row) override { return measure_.measure(row); }
    int fontSize() override { return size_; }

private:
    platform::TextMeasure& measure_;
    int size_;
};

}  // namespace

SceneTextSink::SceneTextSink(std::shared_ptr<PrivateTextSource> firstRow)
    : rows_(std::make_shared<SceneRows>(std::move(firstRow))),
      maxLineLength_(static_cast<size_t>(defaults::kMaxSubtitleLength.defaultValue)) {}

SceneTextSink::~SceneTextSink() = default;

void SceneTextSink::setLayoutBox(const LayoutBox& box, int fontPixels) {
    boxWidth_.store(box.width);
    boxHeight_.store(box.height);
    boxMargin_.store(box.margin);
    fontPixels_.store(fontPixels);
}

SceneSubtitle SceneTextSink::layOut(const std::string& text) {
    SceneSubtitle laidOut;
    laidOut.text = text;
    const LayoutBox box{boxWidth_.load(), boxHeight_.load(), boxMargin_.load()};
    if (platform::kHostTextWrapsInBox || box.width == 0 || box.height == 0) return laidOut;
    std::lock_guard<std::mutex> lock(measureMutex_);
    const int fontPixels = fontPixels_.load();
    if (!measure_.useFont(kFontFace, fontPixels)) {
        if (!unmeasurableReported_) {
            unmeasurableReported_ = true;
            logWarningTag("Render",
                          "Font \"%s\" cannot be measured - subtitles are drawn unwrapped",
                          kFontFace);
        }
        return laidOut;
    }
    FontRows rows(measure_, fontPixels);
    laidOut.layout = layoutSubtitle(text, box, rows);
    return laidOut;
}

void SceneTextSink::store(SceneSubtitle laidOut) {
    // Every row the renderer will write exists before it can take the subtitle.
    size_t rows = 1;
    for (const SubtitlePart& part : laidOut.layout.parts) rows = std::max(rows, part.rows.size());
    rows_->ensure(rows);
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = std::move(laidOut);
    dirty_.exchange(true);
}

void SceneTextSink::deliver(const FinishedSubtitle& subtitle) {
    // Cut before anything else: a runaway reply must not reach the layout or the text source
    // whole.
    std::string shown = limitLineLength(subtitle.text, maxLineLength_.load());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (subtitle.interim && shown.empty()) {
            // The line being spoken was withdrawn: take it down at the next frame.
            dirty_.exchange(false);
            cleared_.store(true);
            return;
        }
        if (!subtitle.interim) {
            originalText_ = subtitle.original;
            translatedText_ = subtitle.translation;
        }
    }
    if (shown.empty()) return;
    store(layOut(shown));
}

// The rows are emptied by the render callback: the host reads a video source's settings in its
// video tick without a lock, so only that thread writes them.
void SceneTextSink::clear() { cleared_.store(true); }

std::optional<SceneSubtitle> SceneTextSink::takePending() {
    if (!dirty_.exchange(false)) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_;
}

void SceneTextSink::leave(const std::string& displayText) { store(layOut(displayText)); }

std::string SceneTextSink::pendingText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.text;
}

std::string SceneTextSink::originalText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return originalText_;
}

std::string SceneTextSink::translatedText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return translatedText_;
}

}  // namespace obs_sayline
