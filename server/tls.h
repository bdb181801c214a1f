#pragma once
// The server's TLS side: the certificate and key a listener presents, loaded into an OpenSSL
// context that accepts TLS 1.2 and later only. A reload builds a new context; connections
// already open keep the one they started with.

#include <openssl/ssl.h>

#include <memory>
#include <string>

namespace kve::server {

using TlsContext = std::shared_ptr<SSL_CTX>;

// Loads the certificate chain (PEM, the server's own certificate first) and its private key.
// Raises Error naming the file and what is wrong: unreadable, not PEM, a key that does not
// belong to the certificate, a certificate expired or not yet valid (clients would refuse
// it, so the server refuses it first).
TlsContext LoadServerTls(const std::string& certFile, const std::string& keyFile);

// OpenSSL's queued errors as one line ("" when none), emptying the queue.
std::string TlsErrors();

}  // namespace kve::server
