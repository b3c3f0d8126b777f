#pragma once

// OpenSSL's context, as <openssl/types.h> declares it.
struct ssl_ctx_st;

namespace obs_sayline::platform {

// Makes the TLS context trust the system's root certificates, for peer verification: OpenSSL's
// default locations here, the "ROOT" certificate store on Windows (where OpenSSL has no
// default store of its own). Returns how many certificates were added on Windows, 1 when the
// default locations were set, 0 when nothing could be trusted (every peer is then refused).
int trustSystemRoots(ssl_ctx_st* context);

}  // namespace obs_sayline::platform
