#include "core/error_code.h"

namespace obs_sayline {

const char* errorCodeName(ErrorCode code) noexcept {
    switch (code) {
#define SAYLINE_NAME(n) \
    case ErrorCode::n:  \
        return #n;
        SAYLINE_NAME(None)
        SAYLINE_NAME(InvalidArgument)
        SAYLINE_NAME(NotInitialized)
        SAYLINE_NAME(AlreadyInitialized)
        SAYLINE_NAME(NotSupported)
        SAYLINE_NAME(Cancelled)
        SAYLINE_NAME(InternalError)
        SAYLINE_NAME(NetworkError)
        SAYLINE_NAME(ConnectionFailed)
        SAYLINE_NAME(Timeout)
        SAYLINE_NAME(SslError)
        SAYLINE_NAME(DnsError)
        SAYLINE_NAME(ProxyError)
        SAYLINE_NAME(ApiError)
        SAYLINE_NAME(ApiKeyMissing)
        SAYLINE_NAME(ApiKeyInvalid)
        SAYLINE_NAME(RateLimitExceeded)
        SAYLINE_NAME(QuotaExceeded)
        SAYLINE_NAME(ServiceUnavailable)
        SAYLINE_NAME(AuthenticationFailed)
        SAYLINE_NAME(PermissionDenied)
        SAYLINE_NAME(InvalidResponse)
        SAYLINE_NAME(AudioError)
        SAYLINE_NAME(AudioCaptureError)
        SAYLINE_NAME(AudioFormatError)
        SAYLINE_NAME(ResamplingError)
        SAYLINE_NAME(BufferOverflow)
        SAYLINE_NAME(BufferUnderflow)
        SAYLINE_NAME(DeviceNotFound)
        SAYLINE_NAME(DeviceBusy)
        SAYLINE_NAME(SttError)
        SAYLINE_NAME(SttInitError)
        SAYLINE_NAME(SttRecognitionError)
        SAYLINE_NAME(SttModelNotFound)
        SAYLINE_NAME(SttLanguageNotSupported)
        SAYLINE_NAME(SttModelLoadError)
        SAYLINE_NAME(SttAudioTooShort)
        SAYLINE_NAME(SttAudioTooLong)
        SAYLINE_NAME(TranslationError)
        SAYLINE_NAME(TranslationInitError)
        SAYLINE_NAME(TranslationFailed)
        SAYLINE_NAME(LanguagePairNotSupported)
        SAYLINE_NAME(TextTooLong)
        SAYLINE_NAME(EmptyText)
        SAYLINE_NAME(RenderError)
        SAYLINE_NAME(RendererInitError)
        SAYLINE_NAME(RendererNotReady)
        SAYLINE_NAME(TextSourceNotFound)
        SAYLINE_NAME(FontNotFound)
        SAYLINE_NAME(SourceCreationFailed)
        SAYLINE_NAME(InvalidStyle)
        SAYLINE_NAME(FileError)
        SAYLINE_NAME(FileNotFound)
        SAYLINE_NAME(FileReadError)
        SAYLINE_NAME(FileWriteError)
        SAYLINE_NAME(InvalidFileFormat)
        SAYLINE_NAME(DirectoryNotFound)
        SAYLINE_NAME(PermissionError)
        SAYLINE_NAME(DiskFull)
        SAYLINE_NAME(ConfigError)
        SAYLINE_NAME(ConfigParseError)
        SAYLINE_NAME(ConfigWriteError)
        SAYLINE_NAME(ConfigMigrationError)
        SAYLINE_NAME(ConfigInvalid)
        SAYLINE_NAME(CredentialError)
        SAYLINE_NAME(EncryptionError)
        SAYLINE_NAME(DecryptionError)
        SAYLINE_NAME(KeychainError)
#undef SAYLINE_NAME
    }
    return "Unknown";
}

const char* errorCategory(ErrorCode code) noexcept {
    const auto v = static_cast<int32_t>(code);
    if (v < 100) return "General";
    if (v < 200) return "Network";
    if (v < 300) return "API";
    if (v < 400) return "Audio";
    if (v < 500) return "STT";
    if (v < 600) return "Translation";
    if (v < 700) return "Rendering";
    if (v < 800) return "File";
    return "Config";
}

}  // namespace obs_sayline
