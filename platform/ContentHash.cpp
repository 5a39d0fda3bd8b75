#include "platform/ContentHash.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace platform {

namespace {

// Large enough that the reads cost little beside the hashing, small enough for a stack of
// workers side by side.
constexpr std::size_t kPieceSize = 1 << 20;

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::string FileSha256(const std::string& path, std::string& error) {
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) {
        error = "open " + path + ": " + std::strerror(errno);
        return {};
    }
    const std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        error = "SHA-256 not available";
        return {};
    }
    std::vector<unsigned char> piece(kPieceSize);
    for (;;) {
        const ssize_t got = ::read(file.fd, piece.data(), piece.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = "read " + path + ": " + std::strerror(errno);
            return {};
        }
        if (got == 0) break;
        EVP_DigestUpdate(context.get(), piece.data(), static_cast<std::size_t>(got));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

}  // namespace platform
