#include "core/logger.h"

#include <gtest/gtest.h>
#include <util/base.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <stdexcept>
#include <string>

#include "plugin/host_log_backend.h"
#include "support/host_log_capture.h"

namespace obs_sayline {
namespace {

using test::HostLogCapture;

class RecordingBackend : public ILogBackend {
public:
    void write(const LogEntry& entry) override { entries.push_back(entry); }
    void flush() override { ++flushes; }
    const char* name() const override { return "Recording"; }
    bool isEnabled() const override { return enabled; }
    void setEnabled(bool e) override { enabled = e; }
    std::vector<LogEntry> entries;
    int flushes = 0;
    bool enabled = true;
};

class ThrowingBackend : public RecordingBackend {
public:
    void write(const LogEntry&) override { throw std::runtime_error("backend down"); }
};

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostLogCapture::instance().clear();
        Logger::instance().setMinLevel(LogLevel::Debug);
        Logger::instance().setEnabled(true);
    }
    static std::vector<test::HostLogLine> lines() {
        return HostLogCapture::instance().lines();
    }
};

TEST_F(LoggerTest, host_lines_carry_prefix_tag_and_level) {
    logInfoTag("Audio", "x");
    logError("plain %d", 5);
    logDebug("dbg");
    logWarningTag("Settings", "warn %s", "me");
    auto l = lines();
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[0].level, LOG_INFO);
    EXPECT_EQ(l[0].text, "[obs-sayline] [Audio] x");
    EXPECT_EQ(l[1].level, LOG_ERROR);
    EXPECT_EQ(l[1].text, "[obs-sayline] plain 5");
    EXPECT_EQ(l[2].level, LOG_DEBUG);
    EXPECT_EQ(l[3].level, LOG_WARNING);
    EXPECT_EQ(l[3].text, "[obs-sayline] [Settings] warn me");
}

TEST_F(LoggerTest, level_mapping_including_out_of_range_values) {
    EXPECT_EQ(toObsLogLevel(LogLevel::Trace), LOG_DEBUG);
    EXPECT_EQ(toObsLogLevel(LogLevel::Debug), LOG_DEBUG);
    EXPECT_EQ(toObsLogLevel(LogLevel::Info), LOG_INFO);
    EXPECT_EQ(toObsLogLevel(LogLevel::Warning), LOG_WARNING);
    EXPECT_EQ(toObsLogLevel(LogLevel::Error), LOG_ERROR);
    EXPECT_EQ(toObsLogLevel(LogLevel::Fatal), LOG_ERROR);
    EXPECT_EQ(toObsLogLevel(static_cast<LogLevel>(6)), LOG_INFO);
    EXPECT_EQ(toObsLogLevel(static_cast<LogLevel>(-1)), LOG_INFO);
}

TEST_F(LoggerTest, trace_is_dropped_by_default_and_min_level_filters) {
    Logger::instance().tryLog(LogLevel::Trace, nullptr, "trace");
    EXPECT_TRUE(lines().empty());

    Logger::instance().setMinLevel(LogLevel::Warning);
    logInfo("hidden");
    logWarning("shown");
    auto l = lines();
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].text, "[obs-sayline] shown");
}

TEST_F(LoggerTest, long_message_is_cut_at_4095_bytes) {
    std::string big(5000, 'a');
    logInfo("%s", big.c_str());
    auto l = lines();
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].text, "[obs-sayline] " + std::string(4095, 'a'));
}

TEST_F(LoggerTest, disabled_logger_or_backend_writes_nothing) {
    Logger::instance().setEnabled(false);
    logError("nothing");
    Logger::instance().setEnabled(true);
    EXPECT_TRUE(lines().empty());

    ObsLogBackend backend;
    backend.setEnabled(false);
    LogEntry entry;
    entry.message = "quiet";
    backend.write(entry);
    EXPECT_TRUE(lines().empty());
    EXPECT_STREQ(backend.name(), "OBS");
}

TEST_F(LoggerTest, throwing_backend_does_not_stop_the_others) {
    auto thrower = std::make_shared<ThrowingBackend>();
    auto recorder = std::make_shared<RecordingBackend>();
    Logger::instance().addBackend(thrower);
    Logger::instance().addBackend(recorder);
    EXPECT_NO_THROW(logInfoTag("Plugin", "survives"));
    Logger::instance().flush();
    Logger::instance().removeBackend(thrower);
    Logger::instance().removeBackend(recorder);

    ASSERT_EQ(recorder->entries.size(), 1u);
    const auto& e = recorder->entries[0];
    EXPECT_EQ(e.message, "survives");
    EXPECT_EQ(e.component, "Plugin");
    EXPECT_EQ(e.level, LogLevel::Info);
    EXPECT_GT(e.timestamp, 0);
    EXPECT_NE(e.threadId, 0u);
    EXPECT_EQ(recorder->flushes, 1);
    EXPECT_EQ(lines().size(), 1u);  // the host backend still wrote its line
}

TEST_F(LoggerTest, try_log_gives_up_while_the_lock_is_held_elsewhere) {
    auto recorder = std::make_shared<RecordingBackend>();
    struct Reentrant : RecordingBackend {
        void write(const LogEntry& entry) override {
            RecordingBackend::write(entry);
            // Runs under the dispatch lock: a nested tryLog must return, not deadlock.
            Logger::instance().tryLog(LogLevel::Error, "CRASH", "nested");
        }
    };
    auto reentrant = std::make_shared<Reentrant>();
    Logger::instance().addBackend(reentrant);
    logInfo("outer");
    Logger::instance().removeBackend(reentrant);
    ASSERT_EQ(reentrant->entries.size(), 1u);
    EXPECT_FALSE(HostLogCapture::instance().containsSubstring("nested"));
}

// A backend that logs runs on the thread that holds the dispatch lock: its line is dropped,
// where waiting for the lock would hang that thread for good. In a child process, so a hang
// cannot stall the other tests.
TEST_F(LoggerTest, a_backend_that_logs_is_not_dispatched_again) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            struct Chatty : RecordingBackend {
                void write(const LogEntry& entry) override {
                    RecordingBackend::write(entry);
                    logWarning("from the backend");
                }
            };
            auto chatty = std::make_shared<Chatty>();
            Logger::instance().addBackend(chatty);
            auto outer = std::async(std::launch::async, [] { logInfo("outer"); });
            if (outer.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
                std::_Exit(2);
            }
            std::_Exit(chatty->entries.size() == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace obs_sayline
