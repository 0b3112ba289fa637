#include "base/file_digest.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>

namespace verdask {

std::string sha256OfFile(const std::string& path, long long* bytes) {
  *bytes = 0;
  // A pipe or device may never end, or was used up by the run: only files have a digest.
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "";
  std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(path.c_str(), "rb"), fclose);
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!file || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return "";
  std::unique_ptr<unsigned char[]> block(new unsigned char[1 << 20]);
  while (size_t got = fread(block.get(), 1, 1 << 20, file.get())) {
    EVP_DigestUpdate(context.get(), block.get(), got);
    *bytes += static_cast<long long>(got);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (ferror(file.get()) || EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return "";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    static const char kHex[] = "0123456789abcdef";
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

}  // namespace verdask
