#include "selfsignedcertificate.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {
constexpr long kValiditySeconds = 7L * 24 * 3600;
const char kCommonName[] = "orva-testserver";
const char kAltNames[] = "IP:127.0.0.1,IP:::1,DNS:localhost";

bool addExtension(X509 *cert, int nid, const char *value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!extension)
        return false;
    const bool added = X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}
} // namespace

SelfSignedCertificate::~SelfSignedCertificate()
{
    X509_free(cert);
    EVP_PKEY_free(key);
}

QString SelfSignedCertificate::generate()
{
    key = EVP_EC_gen("P-256");
    if (!key)
        return QStringLiteral("cannot generate a key");
    cert = X509_new();
    if (!cert)
        return QStringLiteral("cannot create a certificate");
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), kValiditySeconds);
    X509_set_pubkey(cert, key);
    X509_NAME *name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(
        name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>(kCommonName), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    // A client that is told to trust this certificate checks the host against these names.
    if (!addExtension(cert, NID_subject_alt_name, kAltNames)
        || !addExtension(cert, NID_basic_constraints, "critical,CA:TRUE"))
        return QStringLiteral("cannot add the certificate's extensions");
    if (X509_sign(cert, key, EVP_sha256()) == 0)
        return QStringLiteral("cannot sign the certificate");
    return QString();
}

QByteArray SelfSignedCertificate::certificatePem() const
{
    BIO *bio = BIO_new(BIO_s_mem());
    QByteArray pem;
    if (bio && PEM_write_bio_X509(bio, cert) == 1) {
        char *data = nullptr;
        const long length = BIO_get_mem_data(bio, &data);
        pem = QByteArray(data, int(length));
    }
    BIO_free(bio);
    return pem;
}
