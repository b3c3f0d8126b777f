#include "stt/audio_encoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "stt/base64.h"
#include "stt_wire.h"

namespace obs_sayline {
namespace {

using test::readU16;
using test::readU32;

AudioChunk chunkOf(std::vector<float> samples, int32_t rate, int32_t channels) {
    AudioChunk chunk;
    chunk.samples = std::move(samples);
    chunk.sampleRate = rate;
    chunk.channels = channels;
    return chunk;
}

TEST(AudioEncoding, one_second_mono_wav_has_exact_header_and_one_exact_buffer) {
    AudioChunk chunk = chunkOf(std::vector<float>(16000, 0.25f), 16000, 1);
    std::vector<uint8_t> wav = encodeWav(chunk);
    ASSERT_EQ(wav.size(), 32044u);
    EXPECT_EQ(wav.capacity(), 32044u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(readU32(wav, 4), 32036u);
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(readU32(wav, 16), 16u);
    EXPECT_EQ(readU16(wav, 20), 1u);
    EXPECT_EQ(readU16(wav, 22), 1u);
    EXPECT_EQ(readU32(wav, 24), 16000u);
    EXPECT_EQ(readU32(wav, 28), 32000u);
    EXPECT_EQ(readU16(wav, 32), 2u);
    EXPECT_EQ(readU16(wav, 34), 16u);
    EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    EXPECT_EQ(readU32(wav, 40), 32000u);
    // 0.25 * 32767 = 8191.75 -> 8191 = 0x1FFF, little-endian.
    EXPECT_EQ(wav[44], 0xFF);
    EXPECT_EQ(wav[45], 0x1F);
    EXPECT_DOUBLE_EQ(audioDurationMs(chunk), 1000.0);

    std::string asText = encodeWavString(chunk);
    EXPECT_EQ(asText.capacity() >= asText.size(), true);
    EXPECT_EQ(asText, std::string(wav.begin(), wav.end()));
}

TEST(AudioEncoding, stereo_header_counts_channels_and_frames) {
    AudioChunk chunk = chunkOf({0.1f, 0.2f, 0.3f, 0.4f}, 48000, 2);
    std::vector<uint8_t> wav = encodeWav(chunk);
    ASSERT_EQ(wav.size(), 52u);
    EXPECT_EQ(readU16(wav, 22), 2u);
    EXPECT_EQ(readU32(wav, 24), 48000u);
    EXPECT_EQ(readU32(wav, 28), 192000u);
    EXPECT_EQ(readU16(wav, 32), 4u);
    EXPECT_NEAR(audioDurationMs(chunk), 2.0 / 48.0, 1e-9);
}

TEST(AudioEncoding, duration_is_zero_without_rate_or_channels) {
    EXPECT_EQ(audioDurationMs(chunkOf({1.0f, 1.0f}, 16000, 0)), 0.0);
    EXPECT_EQ(audioDurationMs(chunkOf({1.0f, 1.0f}, 0, 1)), 0.0);
    // Whole frames only: 3 samples in stereo are one frame.
    EXPECT_DOUBLE_EQ(audioDurationMs(chunkOf({1.0f, 1.0f, 1.0f}, 1000, 2)), 1.0);
}

TEST(AudioEncoding, samples_clamp_and_truncate_toward_zero) {
    EXPECT_EQ(sampleToPcm16(1.0f), 32767);
    EXPECT_EQ(sampleToPcm16(-1.0f), -32767);
    EXPECT_EQ(sampleToPcm16(1.5f), 32767);
    EXPECT_EQ(sampleToPcm16(-1.5f), -32767);
    EXPECT_EQ(sampleToPcm16(std::numeric_limits<float>::quiet_NaN()), 32767);
    EXPECT_EQ(sampleToPcm16(std::numeric_limits<float>::infinity()), 32767);
    EXPECT_EQ(sampleToPcm16(-std::numeric_limits<float>::infinity()), -32767);
    EXPECT_EQ(sampleToPcm16(0.5f), 16383);
    EXPECT_EQ(sampleToPcm16(-0.5f), -16383);
    EXPECT_EQ(sampleToPcm16(0.0f), 0);
}

TEST(AudioEncoding, raw_pcm_is_the_wav_payload_without_header) {
    AudioChunk chunk = chunkOf({-1.0f, 0.5f, 2.0f}, 16000, 1);
    std::vector<uint8_t> pcm = encodePcm16(chunk);
    std::vector<uint8_t> wav = encodeWav(chunk);
    ASSERT_EQ(pcm.size(), 6u);
    EXPECT_EQ(std::vector<uint8_t>(wav.begin() + 44, wav.end()), pcm);
    EXPECT_EQ(pcm[0], 0x01);  // -32767 = 0x8001
    EXPECT_EQ(pcm[1], 0x80);
}

TEST(AudioEncoding, block_conversion_matches_the_per_sample_rule) {
    // Long enough for the vectorised blocks and a scalar tail, with every special value inside
    // a block.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> samples{1.5f,  -1.5f, nan,   inf,  -inf,  0.99999f, -0.99999f,
                               -0.0f, 1.0f,  -1.0f, 0.5f, -0.5f, 3e-5f,    -3e-5f,
                               0.25f, 1e30f, 0.1f,  0.2f, 0.3f};
    AudioChunk chunk = chunkOf(samples, 16000, 1);
    std::vector<uint8_t> wav = encodeWav(chunk);
    ASSERT_EQ(wav.size(), 44 + 2 * samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(static_cast<int16_t>(readU16(wav, 44 + 2 * i)), sampleToPcm16(samples[i]))
            << "sample " << i;
    }
    EXPECT_EQ(static_cast<int16_t>(readU16(wav, 44 + 2 * 2)), 32767);  // NaN
}

TEST(Base64, encodes_with_standard_alphabet_and_padding) {
    auto enc = [](const std::string& s) {
        return base64Encode(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    EXPECT_EQ(enc(""), "");
    EXPECT_EQ(enc("abc"), "YWJj");
    EXPECT_EQ(enc("ab"), "YWI=");
    EXPECT_EQ(enc(std::string(1, '\0')), "AA==");
    EXPECT_EQ(enc("\xfb\xff\xbf"), "+/+/");

    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    for (size_t len = 0; len <= all.size(); len += 37) {
        std::vector<uint8_t> part(all.begin(), all.begin() + len);
        std::string encoded = base64Encode(part);
        EXPECT_EQ(encoded.size(), (len + 2) / 3 * 4);
        EXPECT_EQ(test::base64Decode(encoded), part);
    }
}

}  // namespace
}  // namespace obs_sayline
