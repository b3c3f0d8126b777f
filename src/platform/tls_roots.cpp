#include "platform/tls_roots.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>

#ifdef _WIN32
#include <windows.h>
// After windows.h, whose declarations it needs.
#include <wincrypt.h>
#endif

namespace obs_sayline::platform {

int trustSystemRoots(ssl_ctx_st* context) {
    if (!context) return 0;
#ifdef _WIN32
    HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT");
    if (!store) return 0;
    X509_STORE* trusted = SSL_CTX_get_cert_store(context);
    int added = 0;
    PCCERT_CONTEXT cert = nullptr;
    while ((cert = CertEnumCertificatesInStore(store, cert)) != nullptr) {
        const unsigned char* der = cert->pbCertEncoded;
        X509* x509 = d2i_X509(nullptr, &der, static_cast<long>(cert->cbCertEncoded));
        if (!x509) continue;
        if (X509_STORE_add_cert(trusted, x509) == 1) ++added;
        X509_free(x509);
    }
    CertCloseStore(store, 0);
    return added;
#else
    return SSL_CTX_set_default_verify_paths(context) == 1 ? 1 : 0;
#endif
}

}  // namespace obs_sayline::platform
