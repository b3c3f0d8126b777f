#pragma once

#include <cstdint>

namespace obs_sayline {

// Numbering is fixed: logs and callers rely on the numbers.
enum class ErrorCode : int32_t {
    None = 0,
    InvalidArgument = 2,
    NotInitialized = 3,
    AlreadyInitialized = 4,
    NotSupported = 5,
    Cancelled = 6,
    InternalError = 7,

    NetworkError = 100,
    ConnectionFailed = 101,
    Timeout = 102,
    SslError = 103,
    DnsError = 104,
    ProxyError = 105,

    ApiError = 200,
    ApiKeyMissing = 201,
    ApiKeyInvalid = 202,
    RateLimitExceeded = 203,
    QuotaExceeded = 204,
    ServiceUnavailable = 205,
    AuthenticationFailed = 206,
    PermissionDenied = 207,
    InvalidResponse = 208,

    AudioError = 300,
    AudioCaptureError = 301,
    AudioFormatError = 302,
    ResamplingError = 303,
    BufferOverflow = 304,
    BufferUnderflow = 305,
    DeviceNotFound = 306,
    DeviceBusy = 307,

    SttError = 400,
    SttInitError = 401,
    SttRecognitionError = 402,
    SttModelNotFound = 403,
    SttLanguageNotSupported = 404,
    SttModelLoadError = 405,
    SttAudioTooShort = 406,
    SttAudioTooLong = 407,

    TranslationError = 500,
    TranslationInitError = 501,
    TranslationFailed = 502,
    LanguagePairNotSupported = 503,
    TextTooLong = 504,
    EmptyText = 505,

    RenderError = 600,
    RendererInitError = 601,
    RendererNotReady = 602,
    TextSourceNotFound = 603,
    FontNotFound = 604,
    SourceCreationFailed = 605,
    InvalidStyle = 606,

    FileError = 700,
    FileNotFound = 701,
    FileReadError = 702,
    FileWriteError = 703,
    InvalidFileFormat = 704,
    DirectoryNotFound = 705,
    PermissionError = 706,
    DiskFull = 707,

    ConfigError = 800,
    ConfigParseError = 801,
    ConfigWriteError = 802,
    ConfigMigrationError = 803,
    ConfigInvalid = 804,
    CredentialError = 810,
    EncryptionError = 811,
    DecryptionError = 812,
    KeychainError = 813,
};

// The enumerator's own name, or "Unknown" for any value outside the table.
const char* errorCodeName(ErrorCode code) noexcept;

// Derived from the hundreds of the numeric value, never stored.
const char* errorCategory(ErrorCode code) noexcept;

}  // namespace obs_sayline
