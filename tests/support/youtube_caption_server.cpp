#include "support/youtube_caption_server.h"

#include <cstdio>
#include <ctime>
#include <regex>

namespace obs_sayline::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::system_clock;

// "YYYY-MM-DDTHH:MM:SS.mmm" as UTC; false for anything else (an impossible date included).
bool parseUtc(const std::string& line, system_clock::time_point& at) {
    static const std::regex kTime(R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})\.(\d{3})$)");
    std::smatch m;
    if (!std::regex_match(line, m, kTime)) return false;
    std::tm tm{};
    tm.tm_year = std::stoi(m[1]) - 1900;
    tm.tm_mon = std::stoi(m[2]) - 1;
    tm.tm_mday = std::stoi(m[3]);
    tm.tm_hour = std::stoi(m[4]);
    tm.tm_min = std::stoi(m[5]);
    tm.tm_sec = std::stoi(m[6]);
    const std::tm asked = tm;
    const time_t seconds = timegm(&tm);
    // timegm normalises 31 April to 1 May: a changed field was no real time.
    if (tm.tm_mday != asked.tm_mday || tm.tm_mon != asked.tm_mon || tm.tm_hour != asked.tm_hour ||
        tm.tm_min != asked.tm_min || tm.tm_sec != asked.tm_sec) {
        return false;
    }
    at = system_clock::from_time_t(seconds) + milliseconds(std::stoi(m[7]));
    return true;
}

std::string formatUtc(system_clock::time_point at) {
    const auto ms = std::chrono::duration_cast<milliseconds>(at.time_since_epoch()).count() % 1000;
    const time_t seconds = system_clock::to_time_t(at);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[64];
    const size_t n = std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S", &tm);
    std::snprintf(text + n, sizeof(text) - n, ".%03lld", static_cast<long long>(ms));
    return text;
}

}  // namespace

YouTubeCaptionServer::YouTubeCaptionServer(std::string cid) : cid_(std::move(cid)) {
    server_.on("POST", "/closedcaption",
               [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); });
}

YouTubeCaptionServer::~YouTubeCaptionServer() { stop(); }

bool YouTubeCaptionServer::start() { return server_.start(); }

void YouTubeCaptionServer::stop() {
    setStalled(false);
    server_.stop();
}

std::string YouTubeCaptionServer::captionUrl() const {
    return server_.url("/closedcaption?cid=" + cid_);
}

void YouTubeCaptionServer::script(std::vector<Answer> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_.assign(answers.begin(), answers.end());
}

void YouTubeCaptionServer::setStalled(bool stalled) {
    std::lock_guard<std::mutex> lock(mutex_);
    stalled_ = stalled;
}

void YouTubeCaptionServer::setClockOffset(milliseconds offset) {
    std::lock_guard<std::mutex> lock(mutex_);
    clockOffset_ = offset;
}

std::vector<YouTubeCaptionServer::Caption> YouTubeCaptionServer::captions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return captions_;
}

std::vector<uint64_t> YouTubeCaptionServer::seqs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seqs_;
}

std::vector<YouTubeCaptionServer::Post> YouTubeCaptionServer::posts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return posts_;
}

std::vector<std::string> YouTubeCaptionServer::violations() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return violations_;
}

size_t YouTubeCaptionServer::skewRefusals() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return skewRefusals_;
}

bool YouTubeCaptionServer::waitForCaptions(size_t count, milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return captions_.size() >= count; });
}

bool YouTubeCaptionServer::waitForPosts(size_t count, milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return seqs_.size() >= count; });
}

std::string YouTubeCaptionServer::checkLocked(const httplib::Request& req, uint64_t& seq,
                                              std::vector<Caption>& captions) {
    const std::string seqText = req.get_param_value("seq");
    if (seqText.empty() || req.get_param_value_count("seq") != 1 ||
        seqText.find_first_not_of("0123456789") != std::string::npos || seqText.size() > 18) {
        return "seq missing or not one decimal number";
    }
    seq = std::stoull(seqText);
    const std::string type = req.get_header_value("Content-Type");
    if (type.rfind("text/plain", 0) != 0) return "Content-Type is not text/plain: " + type;

    const std::string& body = req.body;
    if (body.empty() || body.back() != '\n') return "body empty or its last line not ended";
    std::vector<std::string> lines;
    for (size_t start = 0; start < body.size();) {
        const size_t end = body.find('\n', start);
        lines.push_back(body.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() % 2 != 0) return "time and text lines do not alternate";
    for (size_t i = 0; i < lines.size(); i += 2) {
        Caption caption;
        caption.time = lines[i];
        caption.text = lines[i + 1];
        caption.seq = seq;
        if (!parseUtc(caption.time, caption.at)) return "not a UTC time line: " + caption.time;
        system_clock::time_point unused;
        if (caption.text.empty() || caption.text.find('\r') != std::string::npos ||
            parseUtc(caption.text, unused)) {
            return "not a text line: " + caption.text;
        }
        captions.push_back(std::move(caption));
    }
    const bool newStream = seq == 1;
    const bool next = seq == lastSeq_ + 1;
    const bool retry = lastSeq_ > 0 && seq == lastSeq_;
    if (!newStream && !next && !retry) {
        return "seq " + std::to_string(seq) + " after " + std::to_string(lastSeq_);
    }
    return {};
}

void YouTubeCaptionServer::handle(const httplib::Request& req, httplib::Response& res) {
    uint64_t seq = 0;
    std::vector<Caption> posted;
    Answer answer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        posts_.push_back({req.target, req.body});
        changed_.notify_all();
        if (req.get_param_value("cid") != cid_) {
            res.status = 403;
            res.set_content("Unknown stream", "text/plain");
            return;
        }
        const std::string breach = checkLocked(req, seq, posted);
        seqs_.push_back(seq);
        changed_.notify_all();
        if (!breach.empty()) {
            violations_.push_back(breach);
            res.status = 400;
            res.set_content(breach, "text/plain");
            return;
        }
        // seq 1 begins a stream, unless it is a retry of the post that began this one.
        if (seq == 1 && !(lastSeq_ == 1 && req.body == lastBody_)) takenSeq_ = 0;
        lastSeq_ = seq;
        lastBody_ = req.body;
        if (!script_.empty()) {
            answer = script_.front();
            script_.pop_front();
        }
    }
    if (answer.stallMs > 0) server_.stall(answer.stallMs);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!stalled_) break;
        }
        if (!server_.stall(50)) break;
    }

    std::lock_guard<std::mutex> lock(mutex_);
    if (answer.status != 200) {
        res.status = answer.status;
        res.set_content("Scripted answer", "text/plain");
        return;
    }
    const auto now = system_clock::now() + clockOffset_;
    for (const auto& caption : posted) {
        if (caption.at < now - std::chrono::seconds(60) ||
            caption.at > now + std::chrono::seconds(60)) {
            ++skewRefusals_;
            res.status = 400;
            res.set_content("Timestamp skew between client and server is larger than 60 sec",
                            "text/plain");
            return;
        }
    }
    // A retry of a post already taken (its first answer was lost) adds nothing.
    if (takenSeq_ != seq) captions_.insert(captions_.end(), posted.begin(), posted.end());
    takenSeq_ = seq;
    changed_.notify_all();
    res.set_content(formatUtc(now) + "\n", "text/plain");
}

}  // namespace obs_sayline::test
