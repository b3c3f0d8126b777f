// The rules of the shared caption stream and transcripts, driven by hand on a made-up clock:
// the hub runs no thread of its own here.

#include "sinks/hub/subtitle_hub.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <sstream>
#include <string>
#include <vector>

#include "sinks/hub/hub_source.h"
#include "support/module_workers.h"
#include "sinks/transcript/transcript_writer.h"

namespace obs_sayline {
namespace {

using std::chrono::milliseconds;
using Clock = SubtitleHub::Clock;

struct Sent {
    int64_t atMs;
    std::string text;
};

class SubtitleHubTest : public ::testing::Test {
protected:
    // A source named `speaker` with captions on.
    uint64_t speaker(const std::string& name, bool captions = true) {
        const uint64_t id = hub->join();
        HubContribution c;
        c.label = name.empty() ? "unnamed" : name;
        c.speaker = name;
        c.captions = captions;
        hub->configure(id, c);
        return id;
    }

    // `text` spoken `spokenMs` after t0, ready `readyMs` after t0, shown `displayMs`.
    void say(uint64_t source, const std::string& text, int64_t spokenMs, int64_t readyMs,
             int displayMs = 3000) {
        FinishedSubtitle s;
        s.text = s.original = text;
        s.spokenAt = std::chrono::system_clock::time_point(milliseconds(1000000 + spokenMs));
        s.displayMs = displayMs;
        hub->deliver(source, s, t0 + milliseconds(readyMs));
    }

    // Pumps every due moment up to `untilMs`, as the hub's thread would.
    void runUntil(int64_t untilMs) {
        const Clock::time_point until = t0 + milliseconds(untilMs);
        for (;;) {
            auto next = hub->pump(now);
            if (!next || *next > until) break;
            now = std::max(now, *next);
        }
        now = until;
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& s : sent) out.push_back(s.text);
        return out;
    }
    int64_t sentAt(const std::string& text) const {
        for (const auto& s : sent) {
            if (s.text == text) return s.atMs;
        }
        return -1;
    }

    Clock::time_point t0 = Clock::now();
    Clock::time_point now = t0;
    std::vector<Sent> sent;
    std::shared_ptr<SubtitleHub> hub = std::make_shared<SubtitleHub>(
        [this](const std::vector<OutputCaption>& captions) {
            for (const auto& c : captions) {
                sent.push_back(
                    {std::chrono::duration_cast<milliseconds>(now - t0).count(), c.text});
            }
            return size_t{1};
        },
        false);
};

TEST_F(SubtitleHubTest, one_unnamed_source_captions_as_before) {
    const uint64_t solo = speaker("");
    say(solo, "Hello from Sayline", 0, 3000, 2000);
    runUntil(3000);
    say(solo, "This subtitle is long enough that it needs more than two rows of closed captions",
        3000, 6000, 2000);
    runUntil(10000);
    EXPECT_EQ(texts(), (std::vector<std::string>{
                           "Hello from Sayline", "",
                           "This subtitle is long enough\nthat it needs more than two rows",
                           "of closed captions", ""}));
    // Each goes out when it is ready, its parts share its display time, the last one is taken
    // down when that time is up.
    EXPECT_EQ(sent[0].atMs, 3000);
    EXPECT_EQ(sent[1].atMs, 5000);
    EXPECT_EQ(sent[2].atMs, 6000);
    EXPECT_EQ(sent[3].atMs, 7000);
    EXPECT_EQ(sent[4].atMs, 8000);
}

TEST_F(SubtitleHubTest, captions_go_by_speech_start_and_wait_out_the_reading_time) {
    const uint64_t ann = speaker("Ann");
    const uint64_t bo = speaker("Bo");
    // Bo spoke later but was recognised first.
    say(bo, "I spoke second and my words are long enough", 1000, 3000);
    say(ann, "I spoke first but my words came in late", 0, 3200);
    runUntil(12000);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].text, ">> Ann: I spoke first but my\nwords came in late");
    EXPECT_EQ(sent[1].text, ">> Bo: I spoke second and my\nwords are long enough");
    // Ann's caption had its 1.5 s before Bo's replaced it.
    EXPECT_EQ(sent[1].atMs - sent[0].atMs, 1500);
    EXPECT_EQ(sent.back().text, "");
}

TEST_F(SubtitleHubTest, two_short_captions_share_the_rows_and_names_mark_each_change) {
    const uint64_t ann = speaker("Ann");
    const uint64_t anon = speaker("");
    say(ann, "Ready?", 0, 2000);
    say(anon, "Yes", 500, 2100);
    say(ann, "Go", 1000, 2200);
    runUntil(10000);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0].text, ">> Ann: Ready?");
    // Both one row: the answer joins the question instead of waiting; an unnamed speaker's
    // change is the bare mark.
    EXPECT_EQ(sent[1].text, ">> Ann: Ready?\n>> Yes");
    EXPECT_EQ(sent[1].atMs, sent[0].atMs + 100);
    // Two rows are full: the third waits for the answer's reading time.
    EXPECT_EQ(sent[2].text, ">> Ann: Go");
    EXPECT_EQ(sent[2].atMs, sent[1].atMs + 1500);
}

TEST_F(SubtitleHubTest, three_speakers_in_quick_turns_lose_nothing_and_mark_each_change_once) {
    const uint64_t a = speaker("Ann");
    const uint64_t b = speaker("Bo");
    const uint64_t c = speaker("Cy");
    const std::vector<std::pair<uint64_t, std::string>> turns = {
        {a, "first words from Ann here"}, {b, "then Bo says something"},
        {c, "and Cy answers them both"},  {c, "Cy goes on a little more"},
        {a, "Ann again at the end"}};
    int64_t ms = 0;
    for (const auto& [who, text] : turns) {
        say(who, text, ms, ms + 2000, 2000);
        ms += 150;
    }
    runUntil(20000);
    std::vector<std::string> shown;
    for (const auto& text : texts()) {
        if (!text.empty()) shown.push_back(text);
    }
    // One-row captions join the one above them.
    EXPECT_EQ(shown, (std::vector<std::string>{
                         ">> Ann: first words from Ann\nhere", ">> Bo: then Bo says something",
                         ">> Bo: then Bo says something\n>> Cy: and Cy answers them both",
                         "Cy goes on a little more",
                         "Cy goes on a little more\n>> Ann: Ann again at the end"}));
    // A caption that takes the place of another waited out its reading time.
    for (size_t i = 1; i + 1 < sent.size(); ++i) {
        if (sent[i].text.rfind(sent[i - 1].text + "\n", 0) == 0) continue;
        EXPECT_GE(sent[i].atMs - sent[i - 1].atMs, 1500) << sent[i].text;
    }
    EXPECT_EQ(sent.back().text, "");
}

TEST_F(SubtitleHubTest, a_source_leaving_mid_sentence_leaves_the_others_untouched) {
    const uint64_t ann = speaker("Ann");
    const uint64_t bo = speaker("Bo");
    const uint64_t off = speaker("Off", false);
    say(ann, "This subtitle is long enough that it needs more than two rows of closed captions",
        0, 2000, 4000);
    say(off, "Nobody sees this", 100, 2000);
    runUntil(2500);
    hub->leave(ann);  // after its first caption, while the rest still waits
    say(bo, "Bo carries on", 600, 2600);
    runUntil(12000);
    EXPECT_EQ(texts(), (std::vector<std::string>{
                           ">> Ann: This subtitle is long\nenough that it needs more than",
                           "two rows of closed captions", ">> Bo: Bo carries on", ""}));
    EXPECT_EQ(sentAt("two rows of closed captions"), sentAt(texts()[0]) + 2000);
    EXPECT_EQ(sentAt(">> Bo: Bo carries on"), sentAt("two rows of closed captions") + 1500);
}

TEST(SubtitleHubThreadTest, two_sources_delivering_at_once_lose_nothing) {
    std::mutex mutex;
    std::vector<std::string> shown;
    auto hub = std::make_shared<SubtitleHub>([&](const std::vector<OutputCaption>& captions) {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& c : captions) {
            if (!c.text.empty()) shown.push_back(c.text);
        }
        return size_t{1};
    });
    auto speak = [&](const std::string& name) {
        auto source = std::make_shared<HubSource>(hub);
        HubContribution c;
        c.label = c.speaker = name;
        c.captions = true;
        source->configure(c);
        for (int i = 0; i < 3; ++i) {
            FinishedSubtitle s;
            s.text = s.original = name + " " + std::to_string(i);
            s.startMs = static_cast<uint64_t>(i) * 10;
            s.displayMs = 1;  // a short reading time keeps the test quick
            source->deliver(s);
        }
        return source;
    };
    std::shared_ptr<HubSource> a, b;
    std::thread first([&] { a = speak("A"); });
    std::thread second([&] { b = speak("B"); });
    first.join();
    second.join();
    // Every sentence reaches a caption (two short ones may share one).
    auto missing = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        size_t count = 0;
        for (const char* name : {"A ", "B "}) {
            for (int i = 0; i < 3; ++i) {
                const std::string said = name + std::to_string(i);
                bool found = false;
                for (const auto& text : shown) found = found || text.find(said) != std::string::npos;
                count += !found;
            }
        }
        return count;
    };
    for (int i = 0; i < 2000 && missing() > 0; ++i) std::this_thread::sleep_for(milliseconds(5));
    EXPECT_EQ(missing(), 0u);
    // The hub's thread sends into this test's locals: it is done before they go.
    a.reset();
    b.reset();
    hub.reset();
    EXPECT_TRUE(WorkerRegistry::instance().waitIdle(std::chrono::seconds(10)));
    test::joinModuleWorkers();
}

// An output attached to the hub, as YouTube's captions are.
struct AttachedOutput final : ISubtitleSink {
    const char* name() const override { return "attached"; }
    void deliver(const FinishedSubtitle& s) override { got.push_back(s.speaker + "|" + s.text); }
    void sourceActivated() override { onAir.push_back(true); }
    void sourceDeactivated() override { onAir.push_back(false); }
    std::vector<std::string> got;
    std::vector<bool> onAir;
};

TEST_F(SubtitleHubTest, an_attached_output_gets_the_sources_it_takes_with_their_text_choice) {
    auto output = std::make_shared<AttachedOutput>();
    hub->attach(output, [](const HubContribution& c) { return c.youtube.enabled; });
    auto join = [&](const std::string& name, bool takes, CaptionText text) {
        const uint64_t id = hub->join();
        HubContribution c;
        c.label = c.speaker = name;
        c.captionText = text;
        c.youtube.enabled = takes;
        hub->configure(id, c);
        return id;
    };
    const uint64_t ann = join("Ann", true, CaptionText::Translation);
    const uint64_t bo = join("Bo", true, CaptionText::Original);
    const uint64_t cy = join("Cy", false, CaptionText::Translation);
    hub->activated(cy);
    EXPECT_TRUE(output->onAir.empty());
    hub->activated(ann);
    hub->activated(bo);
    auto translated = [&](uint64_t source, const std::string& original, int64_t spokenMs) {
        FinishedSubtitle s;
        s.original = original;
        s.translation = s.text = "[" + original + "]";
        s.spokenAt = std::chrono::system_clock::time_point(milliseconds(1000000 + spokenMs));
        s.displayMs = 3000;
        hub->deliver(source, s, t0);
    };
    translated(bo, "b1", 100);
    translated(cy, "c1", 50);
    translated(ann, "a1", 0);
    translated(ann, "a2", 200);
    runUntil(1000);
    EXPECT_EQ(output->got, (std::vector<std::string>{"Ann|[a1]", "Bo|b1", "Ann|[a2]"}));
    // On air while any source it takes is; Ann turning it off counts as leaving.
    hub->deactivated(bo);
    HubContribution off;
    off.label = "Ann";
    hub->configure(ann, off);
    EXPECT_EQ(output->onAir, (std::vector<bool>{true, false}));
}

// A status that keeps what it was told.
struct StatusOf final : ICaptionDeliveryReport {
    void captionsPosted(std::chrono::steady_clock::time_point) override { ++posts; }
    void captionProblem(const std::string& sentence) override { problems.push_back(sentence); }
    int posts = 0;
    std::vector<std::string> problems;
};

TEST(CaptionReportFanOutTest, every_sending_source_hears_and_one_that_joins_learns_the_problem) {
    CaptionReportFanOut fanOut;
    auto first = std::make_shared<StatusOf>();
    auto second = std::make_shared<StatusOf>();
    fanOut.setTargets({{1, first}});
    fanOut.captionProblem("refused");
    fanOut.setTargets({{1, first}, {2, second}});
    fanOut.captionsPosted({});
    fanOut.captionProblem("");
    fanOut.setTargets({{2, second}});
    fanOut.captionsPosted({});
    EXPECT_EQ(first->problems, (std::vector<std::string>{"refused", ""}));
    EXPECT_EQ(second->problems, (std::vector<std::string>{"refused", ""}));
    EXPECT_EQ(first->posts, 1);
    EXPECT_EQ(second->posts, 2);
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(TranscriptSpeakersTest, subrip_names_each_new_speaker_and_webvtt_gives_voice_spans) {
    char pattern[] = "/tmp/sayline-speakers-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    auto write = [&](const std::string& name, TranscriptFormat format,
                     const std::vector<std::pair<uint64_t, std::string>>& cues,
                     const std::vector<std::string>& names) {
        TranscriptWriter writer;
        TranscriptCue cue;
        cue.session.id = 1;
        cue.session.folder = dir;
        cue.session.baseName = name;
        cue.options.format = format;
        cue.options.folder = dir;
        for (size_t i = 0; i < cues.size(); ++i) {
            cue.startMs = static_cast<int64_t>(i) * 1000;
            cue.endMs = cue.startMs + 900;
            cue.speakerId = cues[i].first;
            cue.speaker = names[i];
            cue.original = cues[i].second;
            EXPECT_TRUE(writer.write(cue));
        }
        writer.close();
    };
    const std::vector<std::pair<uint64_t, std::string>> said = {
        {1, "Hi"}, {1, "there"}, {2, "Hello <you>"}, {3, "Bye"}};
    const std::vector<std::string> names = {"Ann", "Ann", "", "Cy"};
    write("both", TranscriptFormat::Both, said, names);
    EXPECT_EQ(contents(dir + "/both.srt"),
              "1\n00:00:00,000 --> 00:00:00,900\nAnn: Hi\n\n"
              "2\n00:00:01,000 --> 00:00:01,900\nthere\n\n"
              "3\n00:00:02,000 --> 00:00:02,900\nHello <you>\n\n"
              "4\n00:00:03,000 --> 00:00:03,900\nCy: Bye\n");
    EXPECT_EQ(contents(dir + "/both.vtt"),
              "WEBVTT\n\n1\n00:00:00.000 --> 00:00:00.900\n<v Ann>Hi</v>\n\n"
              "2\n00:00:01.000 --> 00:00:01.900\n<v Ann>there</v>\n\n"
              "3\n00:00:02.000 --> 00:00:02.900\nHello &lt;you&gt;\n\n"
              "4\n00:00:03.000 --> 00:00:03.900\n<v Cy>Bye</v>\n");
    // One voice without a name: the files of before.
    write("solo", TranscriptFormat::Srt, {{1, "Just me"}, {1, "again"}}, {"", ""});
    EXPECT_EQ(contents(dir + "/solo.srt"),
              "1\n00:00:00,000 --> 00:00:00,900\nJust me\n\n"
              "2\n00:00:01,000 --> 00:00:01,900\nagain\n");
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace obs_sayline
