#include "persist/digest.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

struct Hasher {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  Hasher() { EVP_DigestInit_ex(context, EVP_sha256(), nullptr); }
  ~Hasher() { EVP_MD_CTX_free(context); }
  void add(const void* data, size_t size) { EVP_DigestUpdate(context, data, size); }
  std::string hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context, digest, &length);
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
      out += kDigits[digest[i] >> 4];
      out += kDigits[digest[i] & 15];
    }
    return out;
  }
};

}  // namespace

std::string sha256Hex(const void* data, size_t size) {
  Hasher h;
  h.add(data, size);
  return h.hex();
}

bool sha256File(const char* name, std::string* hex) {
  std::FILE* in = std::fopen(name, "rb");
  if (!in) return false;
  Hasher h;
  std::unique_ptr<char[]> block(new char[1 << 16]);
  size_t n;
  while ((n = std::fread(block.get(), 1, 1 << 16, in)) > 0) h.add(block.get(), n);
  const bool ok = !std::ferror(in);
  const int error = errno;
  std::fclose(in);
  if (!ok) {
    errno = error;
    return false;
  }
  *hex = h.hex();
  return true;
}
