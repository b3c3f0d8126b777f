// A Whisper-compatible speech server on loopback for the real-application check
// (scripts/app-test.sh): every upload that the transcription service would accept is answered
// with one fixed sentence in verbose_json; a malformed one gets the service's 400 error.
//
//   sayline_whisper_stub PORT_FILE [SENTENCE] [LIFETIME_SECONDS]
//
// Writes the port it listens on into PORT_FILE once listening, logs one line per request on
// stdout, and exits on SIGTERM/SIGINT or when its lifetime (default 600 s) runs out.

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "stt/stt_wire.h"
#include "support/loopback_server.h"

namespace {

std::string jsonEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out;
}

std::string errorBody(const std::string& message) {
    return R"({"error":{"message":")" + jsonEscaped(message) +
           R"(","type":"invalid_request_error","param":null,"code":null}})";
}

std::string verboseReply(const std::string& sentence) {
    const std::string text = jsonEscaped(sentence);
    return R"({"task":"transcribe","language":"english","duration":3.0,"text":")" + text +
           R"(","segments":[{"id":0,"seek":0,"start":0.0,"end":3.0,"text":")" + text +
           R"(","tokens":[1],"temperature":0.0,"avg_logprob":-0.1,"compression_ratio":1.0,)"
           R"("no_speech_prob":0.01}]})";
}

// What the service would refuse in an upload, or "" when it would transcribe it.
std::string uploadProblem(const httplib::Request& req) {
    if (!req.is_multipart_form_data()) return "expected multipart/form-data";
    if (!req.has_file("model") || req.get_file_value("model").content.empty()) {
        return "missing model";
    }
    if (!req.has_file("file")) return "missing file";
    const auto file = req.get_file_value("file");
    return obs_sayline::test::wavProblems(file.content, 16000, 1);
}

bool writePortFile(const std::string& path, int port) {
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial);
        out << port << "\n";
        if (!out) return false;
    }
    // Renamed into place, so a reader never sees half a number.
    return std::rename(partial.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s PORT_FILE [SENTENCE] [LIFETIME_SECONDS]\n", argv[0]);
        return 2;
    }
    const std::string portFile = argv[1];
    const std::string sentence = argc > 2 ? argv[2] : "HELLO FROM SAYLINE";
    const long lifetime = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 600;

    // Blocked before the server's threads start, so only sigtimedwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    obs_sayline::test::LoopbackServer server;
    server.on("POST", ".*/v1/audio/transcriptions",
              [&](const httplib::Request& req, httplib::Response& res) {
                  const std::string problem = uploadProblem(req);
                  const size_t bytes =
                      req.has_file("file") ? req.get_file_value("file").content.size() : 0;
                  std::printf("whisper-stub: POST %s, %zu audio bytes: %s\n", req.path.c_str(),
                              bytes, problem.empty() ? "answered" : problem.c_str());
                  std::fflush(stdout);
                  res.status = problem.empty() ? 200 : 400;
                  res.set_content(problem.empty() ? verboseReply(sentence) : errorBody(problem),
                                  "application/json");
              });
    if (!server.start()) {
        std::fprintf(stderr, "whisper-stub: cannot listen on 127.0.0.1\n");
        return 1;
    }
    if (!writePortFile(portFile, server.port())) {
        std::fprintf(stderr, "whisper-stub: cannot write %s\n", portFile.c_str());
        return 1;
    }
    std::printf("whisper-stub: listening on %s\n", server.baseUrl().c_str());
    std::fflush(stdout);

    timespec wait{lifetime > 0 ? lifetime : 600, 0};
    const int got = sigtimedwait(&stopSignals, nullptr, &wait);
    std::printf("whisper-stub: %s after %zu requests\n", got < 0 ? "lifetime over" : "stopped",
                server.requestCount());
    server.stop();
    return 0;
}
