#pragma once
// Throw-away certificates for tests and benchmarks, made with OpenSSL at run time into a
// folder the caller owns: a certificate authority and server certificates it signs (P-256
// keys, for 127.0.0.1 and localhost), valid or expired. Nothing here is worth keeping.

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace kve::testing_tls {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Cert = std::unique_ptr<X509, decltype(&X509_free)>;

struct CertFiles {
  std::string cert, key;
};

class TestCertificates {
 public:
  explicit TestCertificates(std::filesystem::path dir)
      : dir_(std::move(dir)), caKey_(NewKey()), ca_(Make("kve test CA", *caKey_, nullptr, nullptr, -3600, 86400, true)) {
    Write(*ca_, dir_ / "ca.pem");
  }

  std::string CaFile() const { return (dir_ / "ca.pem").string(); }

  // A server certificate valid from `fromS` to `toS` seconds from now, signed by the test CA
  // (or by itself, then trusted by no one).
  CertFiles Server(const std::string& name, long fromS = -3600, long toS = 86400, bool selfSigned = false) {
    Key key = NewKey();
    Cert cert = selfSigned ? Make(name, *key, nullptr, nullptr, fromS, toS, false)
                           : Make(name, *key, ca_.get(), caKey_.get(), fromS, toS, false);
    CertFiles f{(dir_ / (name + ".pem")).string(), (dir_ / (name + ".key")).string()};
    Write(*cert, f.cert);
    FILE* out = std::fopen(f.key.c_str(), "wb");
    if (!out || PEM_write_PrivateKey(out, key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
      throw std::runtime_error("cannot write " + f.key);
    std::fclose(out);
    return f;
  }

  // The SHA-256 of a certificate file's certificate, hex with ':' between bytes.
  static std::string Fingerprint(const std::string& certFile) {
    FILE* in = std::fopen(certFile.c_str(), "rb");
    if (!in) throw std::runtime_error("cannot read " + certFile);
    Cert cert(PEM_read_X509(in, nullptr, nullptr, nullptr), &X509_free);
    std::fclose(in);
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    X509_digest(cert.get(), EVP_sha256(), md, &n);
    std::string out;
    char byte[4];
    for (unsigned int i = 0; i < n; ++i) {
      std::snprintf(byte, sizeof byte, i ? ":%02X" : "%02X", md[i]);
      out += byte;
    }
    return out;
  }

 private:
  static Key NewKey() {
    Key k(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    if (!k) throw std::runtime_error("cannot make a test key");
    return k;
  }

  static void Ext(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer ? issuer : cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
  }

  Cert Make(const std::string& cn, EVP_PKEY& key, X509* issuer, EVP_PKEY* issuerKey, long fromS, long toS, bool ca) {
    Cert cert(X509_new(), &X509_free);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), ++serial_);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), fromS);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), toS);
    X509_set_pubkey(cert.get(), &key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
    X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : name);
    if (ca) {
      Ext(cert.get(), issuer, NID_basic_constraints, "critical,CA:TRUE");
      Ext(cert.get(), issuer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
      Ext(cert.get(), issuer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
      Ext(cert.get(), issuer, NID_ext_key_usage, "serverAuth");
    }
    if (X509_sign(cert.get(), issuerKey ? issuerKey : &key, EVP_sha256()) == 0)
      throw std::runtime_error("cannot sign a test certificate");
    return cert;
  }

  static void Write(X509& cert, const std::filesystem::path& file) {
    FILE* out = std::fopen(file.c_str(), "wb");
    if (!out || PEM_write_X509(out, &cert) != 1) throw std::runtime_error("cannot write " + file.string());
    std::fclose(out);
  }

  std::filesystem::path dir_;
  long serial_ = 0;  // before the CA, which takes the first number
  Key caKey_;
  Cert ca_;
};

}  // namespace kve::testing_tls
