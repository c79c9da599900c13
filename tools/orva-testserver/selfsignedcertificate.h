#pragma once

#include <QByteArray>
#include <QString>

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

// A throwaway certificate for 127.0.0.1 and localhost, made at start-up so that the server can speak https
// without any key material on disk: either self-signed, or signed by a throwaway private authority whose
// certificate a client can be given. No client trusts it unless told to.
class SelfSignedCertificate
{
public:
    SelfSignedCertificate() = default;
    ~SelfSignedCertificate();
    SelfSignedCertificate(const SelfSignedCertificate &) = delete;
    SelfSignedCertificate &operator=(const SelfSignedCertificate &) = delete;

    // Returns an error text, empty on success.
    QString generate();
    // The server's certificate signed by a new private authority instead. Returns an error text.
    QString generateSignedByAuthority();

    X509 *certificate() const { return cert; }
    EVP_PKEY *privateKey() const { return key; }
    QByteArray certificatePem() const;
    // The private authority's certificate (PEM), empty unless made by generateSignedByAuthority().
    QByteArray authorityPem() const;

private:
    X509 *cert = nullptr;
    EVP_PKEY *key = nullptr;
    X509 *authorityCert = nullptr;
    EVP_PKEY *authorityKey = nullptr;
};
