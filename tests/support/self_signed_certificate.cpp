#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "support/loopback_server.h"

namespace obs_sayline::test {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};

bool addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext) return false;
    bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

}  // namespace

SelfSignedCertificate::SelfSignedCertificate() {
    char pattern[] = "/tmp/sayline-tls-XXXXXX";
    if (!mkdtemp(pattern)) return;
    dir_ = pattern;
    certPath_ = dir_ + "/cert.pem";
    keyPath_ = dir_ + "/key.pem";

    std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_EC_gen("P-256"));
    std::unique_ptr<X509, CertFree> cert(X509_new());
    if (!key || !cert) return;
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 7 * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    // Its own issuer, so the certificate file doubles as the CA bundle that trusts it.
    if (!addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE") ||
        !addExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign") ||
        !addExtension(cert.get(), NID_subject_key_identifier, "hash") ||
        !addExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost")) {
        return;
    }
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) return;

    std::unique_ptr<FILE, FileClose> certFile(std::fopen(certPath_.c_str(), "w"));
    std::unique_ptr<FILE, FileClose> keyFile(std::fopen(keyPath_.c_str(), "w"));
    if (!certFile || !keyFile) return;
    if (PEM_write_X509(certFile.get(), cert.get()) != 1) return;
    if (PEM_write_PrivateKey(keyFile.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
        1) {
        return;
    }
    valid_ = true;
}

SelfSignedCertificate::~SelfSignedCertificate() {
    if (dir_.empty()) return;
    ::unlink(certPath_.c_str());
    ::unlink(keyPath_.c_str());
    ::rmdir(dir_.c_str());
}

}  // namespace obs_sayline::test
