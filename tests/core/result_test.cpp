#include "core/result.h"

#include <gtest/gtest.h>

#include <memory>

namespace obs_sayline {
namespace {

TEST(ErrorCodeTest, names_and_categories_at_range_edges) {
    struct Case {
        int32_t value;
        const char* name;
        const char* category;
    };
    const Case cases[] = {
        {0, "None", "General"},          {1, "Unknown", "General"},
        {7, "InternalError", "General"}, {8, "Unknown", "General"},
        {99, "Unknown", "General"},      {100, "NetworkError", "Network"},
        {105, "ProxyError", "Network"},  {106, "Unknown", "Network"},
        {208, "InvalidResponse", "API"}, {299, "Unknown", "API"},
        {307, "DeviceBusy", "Audio"},    {407, "SttAudioTooLong", "STT"},
        {505, "EmptyText", "Translation"}, {606, "InvalidStyle", "Rendering"},
        {707, "DiskFull", "File"},       {804, "ConfigInvalid", "Config"},
        {809, "Unknown", "Config"},      {810, "CredentialError", "Config"},
        {813, "KeychainError", "Config"}, {900, "Unknown", "Config"},
        {-5, "Unknown", "General"},
    };
    for (const auto& c : cases) {
        auto code = static_cast<ErrorCode>(c.value);
        EXPECT_STREQ(errorCodeName(code), c.name) << c.value;
        EXPECT_STREQ(errorCategory(code), c.category) << c.value;
    }
}

TEST(ErrorCodeTest, every_defined_code_has_its_own_name) {
    // The table: 7 general, 6 network, 9 API, 8 audio, 8 STT, 6 translation, 7 rendering,
    // 8 file, 9 config codes. Scanning the whole range catches a missing or extra entry.
    int named = 0;
    for (int32_t v = -10; v < 1000; ++v) {
        if (std::string(errorCodeName(static_cast<ErrorCode>(v))) != "Unknown") ++named;
    }
    EXPECT_EQ(named, 7 + 6 + 9 + 8 + 8 + 6 + 7 + 8 + 9);
    EXPECT_STREQ(errorCodeName(ErrorCode::LanguagePairNotSupported), "LanguagePairNotSupported");
    EXPECT_EQ(static_cast<int32_t>(ErrorCode::SttLanguageNotSupported), 404);
    EXPECT_EQ(static_cast<int32_t>(ErrorCode::RateLimitExceeded), 203);
}

TEST(ErrorTest, text_form) {
    Error e(ErrorCode::SttLanguageNotSupported, "Language not supported: xx");
    EXPECT_EQ(e.toString(), "[STT::SttLanguageNotSupported] Language not supported: xx");
    EXPECT_EQ(Error(ErrorCode::ServiceUnavailable, "").toString(), "[API::ServiceUnavailable] ");
}

TEST(ResultTest, value_form_holds_value_or_error) {
    Result<int> ok(42);
    EXPECT_TRUE(ok.isSuccess());
    EXPECT_FALSE(ok.isError());
    EXPECT_EQ(ok.value(), 42);

    Result<int> bad(ErrorCode::Timeout, "slow");
    EXPECT_TRUE(bad.isError());
    EXPECT_EQ(bad.error().code, ErrorCode::Timeout);
    EXPECT_EQ(bad.error().message, "slow");

    Result<std::unique_ptr<int>> moved(std::make_unique<int>(7));
    auto p = std::move(moved).value();
    EXPECT_EQ(*p, 7);
}

TEST(ResultTest, reading_the_wrong_side_throws_with_exact_text) {
    Result<std::string> bad(ErrorCode::SttRecognitionError, "boom");
    try {
        (void)bad.value();
        FAIL() << "value() on an error did not throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(),
                     "Attempted to access value on error Result: "
                     "[STT::SttRecognitionError] boom");
    }
    // The result is left unchanged.
    EXPECT_EQ(bad.error().message, "boom");

    Result<std::string> ok(std::string("x"));
    try {
        (void)ok.error();
        FAIL() << "error() on a success did not throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Attempted to access error on success Result");
    }
}

TEST(ResultTest, void_form) {
    Result<void> ok;
    EXPECT_TRUE(ok.isSuccess());
    try {
        (void)ok.error();
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Attempted to access error on success Result");
    }
    Result<void> bad(ErrorCode::NotInitialized, "not yet");
    EXPECT_TRUE(bad.isError());
    EXPECT_FALSE(static_cast<bool>(bad));
    EXPECT_EQ(bad.error().toString(), "[General::NotInitialized] not yet");
}

}  // namespace
}  // namespace obs_sayline
