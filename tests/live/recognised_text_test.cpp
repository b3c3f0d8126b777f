// What becomes of recognised text: the phantom filter, the display text, the streamer's words
// on their way to the translator and the sinks, and results that come too late to show.

#include "live/recognised_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine_fakes.h"
#include "live/chunker.h"
#include "sinks/scene/recorded_rows.h"
#include "sinks/scene/scene_text_sink.h"

namespace obs_sayline {
namespace {

// Keeps the requests; its translation still holds a hidden word.
class KeepingTranslator final : public test::FakeTranslator {
public:
    Result<TranslationResult> translate(const TranslationRequest& request) override {
        asked.push_back(request);
        TranslationResult result;
        result.translatedText = "Willkommen, DARN";
        return result;
    }
    std::vector<TranslationRequest> asked;
};

struct KeptSubtitles : ISubtitleSink {
    const char* name() const override { return "kept"; }
    void deliver(const FinishedSubtitle& subtitle) override { got.push_back(subtitle); }
    std::vector<FinishedSubtitle> got;
};

TEST(PhantomFilterTest, drops_empty_unsure_and_invented_phrases_byte_wise) {
    EXPECT_TRUE(isPhantomResult("", 1.0f));
    EXPECT_TRUE(isPhantomResult("real words", 0.149f));
    EXPECT_FALSE(isPhantomResult("real words", 0.15f));

    EXPECT_TRUE(isPhantomResult("Thanks for watching and see you", 0.9f));
    EXPECT_FALSE(isPhantomResult("thanks for watching", 0.9f));  // case matters
    EXPECT_TRUE(isPhantomResult("자막 제공", 0.9f));
    EXPECT_TRUE(isPhantomResult("오늘 자막 제공은 누구입니다", 0.9f));
    EXPECT_FALSE(isPhantomResult("자막", 0.9f));  // shorter than any phrase it starts

    ASSERT_EQ(phantomPhrases().size(), 21u);
    EXPECT_EQ(phantomPhrases().front(), "시청해주셔서 감사합니다");
    EXPECT_EQ(phantomPhrases()[12], "MBC 뉴스");
    EXPECT_EQ(phantomPhrases().back(), "Subtitles by");
}

TEST(DisplayTextTest, translation_replaces_or_follows_the_original) {
    EXPECT_EQ(composeDisplayText("안녕", "Hello", true, true), "안녕\nHello");
    EXPECT_EQ(composeDisplayText("안녕", "Hello", true, false), "Hello");
    EXPECT_EQ(composeDisplayText("안녕", "", true, true), "안녕");
    EXPECT_EQ(composeDisplayText("안녕", "Hello", false, true), "안녕");
}

TEST(FinishRecognisedTest, replacements_come_first_and_no_one_gets_a_hidden_word) {
    auto translator = std::make_shared<KeepingTranslator>();
    RecognitionSetup setup;
    setup.translator = translator;
    setup.showOriginal = true;
    setup.sourceLanguage = "en";
    setup.targetLanguage = "de";
    setup.vocabulary = {"Sayline", "Kkachi"};
    setup.wordRules = WordRules::parse("say line => Sayline\num =>", "darn");
    SourceShared shared;
    SubtitleSinks sinks;
    auto sink = std::make_shared<KeptSubtitles>();
    sinks.add(sink);

    SttResult result;
    result.text = "Darn, say line works";
    result.confidence = 0.9f;
    ASSERT_TRUE(finishRecognised(shared, setup, sinks, result, 0, 1000));
    ASSERT_EQ(translator->asked.size(), 1u);
    EXPECT_EQ(translator->asked[0].text, "D***, Sayline works");
    EXPECT_EQ(translator->asked[0].keepTerms, setup.vocabulary);
    ASSERT_EQ(sink->got.size(), 1u);
    EXPECT_EQ(sink->got[0].original, "D***, Sayline works");
    EXPECT_EQ(sink->got[0].translation, "Willkommen, D***");
    EXPECT_EQ(sink->got[0].text, "D***, Sayline works\nWillkommen, D***");

    // A line the replacements empty is filtered like an empty result: nothing is translated.
    result.text = "um";
    EXPECT_FALSE(finishRecognised(shared, setup, sinks, result, 1000, 2000));
    EXPECT_EQ(translator->asked.size(), 1u);
    EXPECT_EQ(sink->got.size(), 1u);
}

TEST(LateResultTest, ready_over_ten_seconds_after_its_speech_it_is_kept_but_not_shown) {
    SourceShared shared;
    shared.status.setCapture(CaptureCondition::Running);
    RecognitionSetup setup;
    SubtitleSinks sinks;
    auto scene = std::make_shared<SceneTextSink>(std::make_shared<test::RecordedRows>());
    auto recorded = std::make_shared<KeptSubtitles>();
    sinks.add(scene);
    sinks.add(recorded);
    // The capture has taken in 16 s of audio while these were recognised.
    shared.heardSamples = intakeSamples(16000);
    auto result = [](const char* text) {
        SttResult r;
        r.text = text;
        r.confidence = 0.9f;
        return r;
    };

    SttResult onTime = result("just in time");
    EXPECT_TRUE(finishRecognised(shared, setup, sinks, onTime, 3000, 6000));  // 10 s behind
    ASSERT_TRUE(scene->takePending().has_value());
    EXPECT_EQ(shared.status.report().code, StatusCode::SubtitleShown);

    SttResult late = result("too late");
    EXPECT_FALSE(finishRecognised(shared, setup, sinks, late, 2000, 5500));
    EXPECT_FALSE(scene->takePending().has_value());
    ASSERT_EQ(recorded->got.size(), 2u);
    EXPECT_FALSE(recorded->got[0].late);
    EXPECT_TRUE(recorded->got[1].late);
    EXPECT_EQ(recorded->got[1].behindMs, 10500u);
    EXPECT_EQ(recorded->got[1].startMs, 2000u);  // its true place, for the transcript
    const StatusReport report = shared.status.report();
    EXPECT_EQ(report.code, StatusCode::RecognitionLate);
    EXPECT_EQ(report.sentence, "Recognition is running late (11 s behind)");

    // Caught up: the next result in time is shown again.
    shared.heardSamples = intakeSamples(20000);
    SttResult caughtUp = result("caught up");
    EXPECT_TRUE(finishRecognised(shared, setup, sinks, caughtUp, 17000, 19000));
    EXPECT_EQ(shared.status.report().code, StatusCode::SubtitleShown);
}

}  // namespace
}  // namespace obs_sayline
