#include "service/WebhookSignature.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace parlane {

std::string webhookSignature(std::string_view body, std::string_view secret) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  ::HMAC(EVP_sha256(), secret.data(), static_cast<int>(secret.size()),
         reinterpret_cast<const unsigned char*>(body.data()), body.size(), digest, &length);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "sha256=";
  for (unsigned int i = 0; i < length; ++i) {
    out.push_back(kHex[digest[i] >> 4]);
    out.push_back(kHex[digest[i] & 15]);
  }
  return out;
}

}  // namespace parlane
