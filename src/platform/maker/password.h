#pragma once
// The password transform applied before an operator's password leaves for a device.
//
// A keyed one-way transform: HMAC-SHA-256 of the password's UTF-8 bytes, exactly as stored
// (nothing trimmed), keyed by the site key of the configuration; the first 15 bytes of the
// digest in unpadded base64url, which is always 20 characters and so fits the 20-character
// password column. The same password and key always give the same text; without the key the
// text reveals nothing usable about the password. docs/password-transform.md tells the device
// side how to check a typed password against it.

#include <string>
#include <string_view>

namespace kve {

namespace maker {
inline constexpr int kPasswordTextLength = 20;
// REQUIRES nothing: an empty key raises kve::ValueError (a keyless transform would be a
// plain hash anyone could reverse for short passwords).
std::string TransformPassword(std::string_view siteKey, std::string_view password);
}  // namespace maker

namespace Criptografa {
// TransformPassword with the site key of the installed services.
std::string CriptoPlus(std::string_view password);
}  // namespace Criptografa

}  // namespace kve
