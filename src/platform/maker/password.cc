#include "platform/maker/password.h"

#include <sodium.h>

#include "platform/common/error.h"
#include "platform/maker/config.h"

namespace kve {
namespace maker {

std::string TransformPassword(std::string_view siteKey, std::string_view password) {
  if (siteKey.empty())
    throw ValueError("password transform: no site key configured (security.site_key)");
  if (sodium_init() < 0) throw Error("password transform: libsodium could not start");

  crypto_auth_hmacsha256_state state;
  unsigned char digest[crypto_auth_hmacsha256_BYTES];
  crypto_auth_hmacsha256_init(&state, reinterpret_cast<const unsigned char*>(siteKey.data()),
                              siteKey.size());
  crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(password.data()),
                                password.size());
  crypto_auth_hmacsha256_final(&state, digest);

  constexpr size_t kTaken = 15;  // 15 bytes = 120 bits = exactly 20 base64 characters
  char text[sodium_base64_ENCODED_LEN(kTaken, sodium_base64_VARIANT_URLSAFE_NO_PADDING)];
  sodium_bin2base64(text, sizeof text, digest, kTaken, sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  sodium_memzero(&state, sizeof state);
  sodium_memzero(digest, sizeof digest);
  return std::string(text);
}

}  // namespace maker

namespace Criptografa {

std::string CriptoPlus(std::string_view password) {
  return maker::TransformPassword(maker::CurrentServices().Config().site_key, password);
}

}  // namespace Criptografa
}  // namespace kve
