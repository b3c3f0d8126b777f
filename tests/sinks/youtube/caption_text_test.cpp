// What goes into a caption post: which URLs are taken, how a subtitle is cut and timed, and
// the text of the body and of YouTube's clock in the reply.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "core/utf8_text.h"
#include "sinks/youtube/caption_split.h"
#include "sinks/youtube/caption_url.h"
#include "sinks/youtube/caption_wire.h"
#include "sinks/youtube/youtube_caption_sink.h"

namespace obs_sayline {
namespace {

using std::chrono::milliseconds;
using std::chrono::system_clock;

system_clock::time_point atMs(int64_t ms) { return system_clock::time_point(milliseconds(ms)); }

TEST(CaptionUrl, youtube_goes_over_https_and_test_hosts_keep_their_scheme) {
    struct Case {
        const char* pasted;
        const char* url;
        const char* host;
        bool privateHttp;
    };
    const Case cases[] = {
        {"http://upload.youtube.com/closedcaption?cid=abcd-efgh",
         "https://upload.youtube.com/closedcaption?cid=abcd-efgh", "upload.youtube.com", false},
        // As pasted: blanks around it, capitals, a stale seq, the default port.
        {"  HTTPS://Upload.YouTube.com:443/closedcaption?cid=k1&seq=9&lang=en\n",
         "https://upload.youtube.com/closedcaption?cid=k1&lang=en", "upload.youtube.com", false},
        {"http://upload.youtube.com:80/closedcaption?seq=2&cid=k2",
         "https://upload.youtube.com/closedcaption?cid=k2", "upload.youtube.com", false},
        {"http://127.0.0.1:8123/closedcaption?cid=k3", "http://127.0.0.1:8123/closedcaption?cid=k3",
         "127.0.0.1", false},
        {"http://192.168.1.20/closedcaption?cid=k4", "http://192.168.1.20/closedcaption?cid=k4",
         "192.168.1.20", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pasted);
        const CaptionUrlVerdict verdict = judgeCaptionUrl(c.pasted);
        ASSERT_TRUE(verdict.accepted) << verdict.refusal;
        EXPECT_EQ(verdict.accepted->url, c.url);
        EXPECT_EQ(verdict.accepted->host, c.host);
        EXPECT_EQ(verdict.accepted->allowPrivateHttp, c.privateHttp);
    }
    EXPECT_EQ(captionPostUrl(*judgeCaptionUrl(cases[0].pasted).accepted, 12),
              "https://upload.youtube.com/closedcaption?cid=abcd-efgh&seq=12");
}

TEST(CaptionUrl, anything_else_is_refused_with_a_reason_that_never_quotes_the_key) {
    struct Case {
        const char* pasted;
        const char* reasonPart;
    };
    const Case cases[] = {
        {"   ", "empty"},
        {"upload.youtube.com/closedcaption?cid=SECRET1", "http"},
        {"ftp://upload.youtube.com/closedcaption?cid=SECRET1", "http"},
        {"https://captions.example.com/closedcaption?cid=SECRET1", "only YouTube"},
        {"http://upload.youtube.com.example.com/closedcaption?cid=SECRET1", "only YouTube"},
        {"http://8.8.8.8/closedcaption?cid=SECRET1", "only YouTube"},
        {"http://me:pw@upload.youtube.com/closedcaption?cid=SECRET1", "user name"},
        {"http://upload.youtube.com/closedcaption?cid=SECRET1#top", "fragment"},
        {"http://upload.youtube.com:8080/closedcaption?cid=SECRET1", "port"},
        {"http://upload.youtube.com/closedcaption", "cid"},
        {"http://upload.youtube.com/closedcaption?cid=&x=SECRET1", "cid"},
        {"http://127.0.0.1:8123/closedcaption?id=SECRET1", "cid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pasted);
        const CaptionUrlVerdict verdict = judgeCaptionUrl(c.pasted);
        EXPECT_FALSE(verdict.accepted);
        EXPECT_NE(verdict.refusal.find(c.reasonPart), std::string::npos) << verdict.refusal;
        EXPECT_EQ(verdict.refusal.find("SECRET1"), std::string::npos);
    }
}

TEST(CaptionWire, body_alternates_utc_time_and_text_and_writes_breaks_as_br) {
    EXPECT_EQ(formatCaptionTime(atMs(1709251199123)), "2024-02-29T23:59:59.123");
    EXPECT_EQ(formatCaptionTime(atMs(-500)), "1969-12-31T23:59:59.500");
    const std::string body = captionBody(
        {{atMs(1709251199123), "two rows\nof text"}, {atMs(1709251200000), "a\r\nb\rc\td"}});
    EXPECT_EQ(body,
              "2024-02-29T23:59:59.123\ntwo rows<br>of text\n"
              "2024-03-01T00:00:00.000\na<br>b<br>c d\n");
}

TEST(CaptionWire, reply_gives_youtubes_clock_only_when_it_is_a_time) {
    EXPECT_EQ(parseCaptionTime("2024-02-29T23:59:59.123\n"), atMs(1709251199123));
    EXPECT_EQ(parseCaptionTime(" 2024-02-29T23:59:59.1234567Z "), atMs(1709251199123));
    EXPECT_EQ(parseCaptionTime("2024-03-01T00:00:00"), atMs(1709251200000));
    for (const char* body : {"", "OK", "2023-02-29T00:00:00.000", "2024-13-01T00:00:00.000",
                             "2024-01-01T24:00:00.000", "2024-01-01T00:00:00.", "2024-01-01",
                             "2024-01-01T00:00:00.000 and more", "<html>2024-01-01</html>"}) {
        EXPECT_FALSE(parseCaptionTime(body)) << body;
    }
}

// Every caption at most two rows of 42 characters; nothing lost or reordered.
void expectReadableCaptions(const std::vector<CaptionPiece>& pieces) {
    for (const auto& piece : pieces) {
        EXPECT_LE(longestLineChars(piece.text), kYouTubeRowChars) << piece.text;
        EXPECT_LE(std::count(piece.text.begin(), piece.text.end(), '\n') + 1,
                  static_cast<long>(kYouTubeCaptionRows))
            << piece.text;
    }
}

// The captions' text again, rows and captions joined by `separator`.
std::string joined(const std::vector<CaptionPiece>& pieces, const std::string& separator) {
    std::string out;
    for (const auto& piece : pieces) {
        if (!out.empty()) out += separator;
        for (char c : piece.text) {
            if (c == '\n') {
                out += separator;
            } else {
                out += c;
            }
        }
    }
    return out;
}

TEST(CaptionSplit, long_subtitles_become_two_row_captions_cut_at_sentences_then_words) {
    EXPECT_EQ(splitCaption("  Hello   there.\n").size(), 1u);
    EXPECT_EQ(splitCaption("  Hello   there.\n")[0].text, "Hello there.");

    const std::string text =
        "We start in a minute. Before that, a word about the schedule for the rest of this "
        "long afternoon, which has changed twice already! Questions? Ask in the chat.";
    const auto pieces = splitCaption(text);
    expectReadableCaptions(pieces);
    EXPECT_EQ(joined(pieces, " "), text);
    ASSERT_EQ(pieces.size(), 3u);
    // The short first sentence shares no caption with the long one, which fills whole captions
    // and leaves its end to share one with the two short last ones.
    EXPECT_EQ(pieces[0].text, "We start in a minute.");
    EXPECT_EQ(pieces[2].text, "changed twice already! Questions? Ask in\nthe chat.");
    EXPECT_EQ(pieces[1].startChar, pieces[0].chars);

    // Chinese without blanks: cut between characters, 42 to a row.
    std::string chinese;
    for (int i = 0; i < 100; ++i) chinese += "字";
    chinese += "。好。";
    const auto cut = splitCaption(chinese);
    expectReadableCaptions(cut);
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0].chars, 84u);
    EXPECT_EQ(cut[1].chars, 19u);
    EXPECT_EQ(joined(cut, ""), chinese);
}

TEST(CaptionTiming, captions_spread_over_the_speech_from_when_it_began_plus_the_offset) {
    FinishedSubtitle subtitle;
    subtitle.original = "Guten Morgen. " + std::string(120, 'x');
    subtitle.translation =
        "Good morning. Welcome to the stream, everyone; today we look at the "
        "new release and what changed in it since the last one.";
    subtitle.startMs = 10000;
    subtitle.endMs = 14000;
    subtitle.spokenAt = atMs(1709251190000);
    const auto now = atMs(1709251199000);

    const auto captions = captionsForSubtitle(subtitle, true, 1500, now);
    ASSERT_GE(captions.size(), 2u);
    EXPECT_EQ(captions[0].text, "Good morning.");
    EXPECT_EQ(captions[0].at, subtitle.spokenAt + milliseconds(1500));
    for (size_t i = 1; i < captions.size(); ++i) {
        EXPECT_GT(captions[i].at, captions[i - 1].at);
        EXPECT_LT(captions[i].at, subtitle.spokenAt + milliseconds(1500 + 4000));
    }
    // The original when asked for, or when there is no translation; offsets are clamped.
    EXPECT_EQ(captionsForSubtitle(subtitle, false, 0, now)[0].text, "Guten Morgen.");
    subtitle.translation.clear();
    EXPECT_EQ(captionsForSubtitle(subtitle, true, 99999, now)[0].at,
              subtitle.spokenAt + milliseconds(kYouTubeOffsetMaxMs));
    // Not known when it began: it ended now.
    subtitle.spokenAt = {};
    EXPECT_EQ(captionsForSubtitle(subtitle, true, 0, now)[0].at, now - milliseconds(4000));
}

}  // namespace
}  // namespace obs_sayline
