#include "selfsignedcertificate.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {
constexpr long kValiditySeconds = 7L * 24 * 3600;
const char kCommonName[] = "orva-testserver";
const char kAuthorityName[] = "orva-testserver private CA";
const char kAltNames[] = "IP:127.0.0.1,IP:::1,DNS:localhost";

bool addExtension(X509 *cert, int nid, const char *value, X509 *issuer = nullptr)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer ? issuer : cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!extension)
        return false;
    const bool added = X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}
// A certificate for key with the given subject, valid from an hour ago for a week; the issuer name is set by
// the caller.
X509 *newCertificate(EVP_PKEY *key, long serial, const char *commonName)
{
    X509 *cert = X509_new();
    if (!cert)
        return nullptr;
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), kValiditySeconds);
    X509_set_pubkey(cert, key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
        reinterpret_cast<const unsigned char *>(commonName), -1, -1, 0);
    return cert;
}

QByteArray pemOf(X509 *cert)
{
    BIO *bio = BIO_new(BIO_s_mem());
    QByteArray pem;
    if (bio && cert && PEM_write_bio_X509(bio, cert) == 1) {
        char *data = nullptr;
        const long length = BIO_get_mem_data(bio, &data);
        pem = QByteArray(data, int(length));
    }
    BIO_free(bio);
    return pem;
}
} // namespace

SelfSignedCertificate::~SelfSignedCertificate()
{
    X509_free(cert);
    EVP_PKEY_free(key);
    X509_free(authorityCert);
    EVP_PKEY_free(authorityKey);
}

QString SelfSignedCertificate::generateSignedByAuthority()
{
    authorityKey = EVP_EC_gen("P-256");
    key = EVP_EC_gen("P-256");
    if (!authorityKey || !key)
        return QStringLiteral("cannot generate a key");
    authorityCert = newCertificate(authorityKey, 1, kAuthorityName);
    cert = newCertificate(key, 2, kCommonName);
    if (!authorityCert || !cert)
        return QStringLiteral("cannot create a certificate");
    X509_set_issuer_name(authorityCert, X509_get_subject_name(authorityCert));
    if (!addExtension(authorityCert, NID_basic_constraints, "critical,CA:TRUE")
        || !addExtension(authorityCert, NID_key_usage, "critical,keyCertSign,cRLSign")
        || !addExtension(authorityCert, NID_subject_key_identifier, "hash")
        || X509_sign(authorityCert, authorityKey, EVP_sha256()) == 0)
        return QStringLiteral("cannot make the authority's certificate");
    // The server's own certificate cannot sign others; only the authority's signature makes it trusted.
    X509_set_issuer_name(cert, X509_get_subject_name(authorityCert));
    if (!addExtension(cert, NID_subject_alt_name, kAltNames, authorityCert)
        || !addExtension(cert, NID_basic_constraints, "critical,CA:FALSE", authorityCert)
        || !addExtension(cert, NID_ext_key_usage, "serverAuth", authorityCert)
        || !addExtension(cert, NID_authority_key_identifier, "keyid:always", authorityCert)
        || X509_sign(cert, authorityKey, EVP_sha256()) == 0)
        return QStringLiteral("cannot make the server's certificate");
    return QString();
}

QByteArray SelfSignedCertificate::authorityPem() const
{
    return pemOf(authorityCert);
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
    return pemOf(cert);
}
