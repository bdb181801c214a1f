#include "server/tls.h"

#include <openssl/err.h>
#include <openssl/x509.h>

#include "platform/common/error.h"

namespace kve::server {
namespace {

std::string Asn1Time(const ASN1_TIME* t) {
  BIO* bio = BIO_new(BIO_s_mem());
  ASN1_TIME_print(bio, t);
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  std::string text(data, static_cast<size_t>(n));
  BIO_free(bio);
  return text;
}

}  // namespace

std::string TlsErrors() {
  std::string text;
  while (unsigned long e = ERR_get_error()) {
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    if (!text.empty()) text += "; ";
    text += buf;
  }
  return text;
}

TlsContext LoadServerTls(const std::string& certFile, const std::string& keyFile) {
  ERR_clear_error();
  TlsContext ctx(SSL_CTX_new(TLS_server_method()), &SSL_CTX_free);
  if (!ctx) throw Error("TLS: cannot make a context: " + TlsErrors());
  // TLS 1.0 and 1.1 are broken enough that a client offering only them is refused.
  SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
  SSL_CTX_set_options(ctx.get(), SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION |
                                     SSL_OP_CIPHER_SERVER_PREFERENCE);
  if (SSL_CTX_use_certificate_chain_file(ctx.get(), certFile.c_str()) != 1)
    throw Error("TLS certificate " + certFile + ": cannot be loaded (" + TlsErrors() + ")");
  if (SSL_CTX_use_PrivateKey_file(ctx.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
    throw Error("TLS key " + keyFile + ": cannot be loaded (" + TlsErrors() + ")");
  if (SSL_CTX_check_private_key(ctx.get()) != 1)
    throw Error("TLS key " + keyFile + ": does not belong to the certificate " + certFile);
  X509* leaf = SSL_CTX_get0_certificate(ctx.get());
  if (X509_cmp_current_time(X509_get0_notAfter(leaf)) <= 0)
    throw Error("TLS certificate " + certFile + ": expired on " + Asn1Time(X509_get0_notAfter(leaf)));
  if (X509_cmp_current_time(X509_get0_notBefore(leaf)) >= 0)
    throw Error("TLS certificate " + certFile + ": not valid before " + Asn1Time(X509_get0_notBefore(leaf)));
  return ctx;
}

}  // namespace kve::server
