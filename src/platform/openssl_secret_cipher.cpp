#include "platform/openssl_secret_cipher.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/program_paths.h"
#include "support/write_fully.h"

namespace sonaro {
namespace {

constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kNonceBytes = 12;
constexpr std::size_t kTagBytes = 16;
constexpr std::size_t kOverhead = 1 + kNonceBytes + kTagBytes;

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

const unsigned char* bytesOf(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

unsigned char* bytesOf(std::string& text) {
    return reinterpret_cast<unsigned char*>(text.data());
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

OpenSslSecretCipher::OpenSslSecretCipher(std::string keyFilePath)
    : m_keyFilePath(std::move(keyFilePath)) {}

bool OpenSslSecretCipher::readKeyFile(Key& key, std::string& problem) const {
    const std::string& path = m_keyFilePath;
    // O_NONBLOCK: a FIFO or device in its place must not hold the caller up.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP) {
            problem = "the key file " + path + " is a symbolic link";
        } else if (error != ENOENT) {
            problem = "the key file " + path + " cannot be opened (" + std::strerror(error) + ")";
        }
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        problem = "the key file " + path + " is not a regular file";
    } else if (info.st_uid != getuid()) {
        problem = "the key file " + path + " belongs to another user";
    } else if (info.st_size != static_cast<off_t>(kKeyBytes)) {
        problem = "the key file " + path + " is not " + std::to_string(kKeyBytes) + " bytes long";
    } else if ((info.st_mode & 077) != 0 && fchmod(fd, 0600) != 0) {
        // A key others could read is tightened rather than thrown away with the passwords it
        // seals.
        problem = "the key file " + path + " cannot be made private (" + std::strerror(errno) + ")";
    }
    std::size_t got = 0;
    while (problem.empty() && got < kKeyBytes) {
        const ssize_t n = read(fd, key.data() + got, kKeyBytes - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            problem = "the key file " + path + " cannot be read";
        }
        got += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    close(fd);
    return problem.empty();
}

bool OpenSslSecretCipher::createKeyFile(Key& key, std::string& problem) const {
    const std::string folder = folderOf(m_keyFilePath);
    if (RAND_bytes(key.data(), static_cast<int>(key.size())) != 1) {
        problem = "no random numbers are available for a new key";
        return false;
    }
    if (!MakeDirectories(folder)) {
        problem = "the folder " + folder + " for the key file cannot be created";
        return false;
    }
    // Written whole under a temporary name and linked into place, so a concurrent reader never
    // sees a partial key and two creators agree on the one that was linked first.
    std::string temp = m_keyFilePath + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        problem =
            "the key file " + m_keyFilePath + " cannot be created (" + std::strerror(errno) + ")";
        return false;
    }
    const bool written =
        fchmod(fd, 0600) == 0 && WriteFully(fd, key.data(), key.size()) && fsync(fd) == 0;
    const int writeError = errno;
    close(fd);
    const bool linked = written && link(temp.c_str(), m_keyFilePath.c_str()) == 0;
    const int linkError = errno;
    unlink(temp.c_str());
    if (linked) {
        return true;
    }
    if (written && linkError == EEXIST) {
        return readKeyFile(key, problem);
    }
    problem = "the key file " + m_keyFilePath + " cannot be written (" +
              std::strerror(written ? linkError : writeError) + ")";
    return false;
}

const OpenSslSecretCipher::Key* OpenSslSecretCipher::key(bool create, std::string& problem) {
    if (!m_key) {
        Key key{};
        // An existing key file is never replaced: the passwords it sealed would be lost.
        if (readKeyFile(key, problem) ||
            (create && problem.empty() && createKeyFile(key, problem))) {
            m_key = key;
        }
    }
    return m_key ? &*m_key : nullptr;
}

std::optional<std::string> OpenSslSecretCipher::Seal(std::string_view plain,
                                                     std::string_view context,
                                                     std::string& problem) {
    std::lock_guard lock(m_mutex);
    const Key* secret = key(true, problem);
    if (secret == nullptr) {
        if (problem.empty()) {
            problem = "there is no key file " + m_keyFilePath;
        }
        return std::nullopt;
    }
    std::string sealed(kOverhead + plain.size(), '\0');
    sealed[0] = static_cast<char>(kVersion);
    unsigned char* nonce = bytesOf(sealed) + 1;
    unsigned char* body = nonce + kNonceBytes;
    CipherContext cipher(EVP_CIPHER_CTX_new());
    int length = 0;
    const bool ok =
        cipher && RAND_bytes(nonce, kNonceBytes) == 1 &&
        EVP_EncryptInit_ex(cipher.get(), EVP_aes_256_gcm(), nullptr, secret->data(), nonce) == 1 &&
        EVP_EncryptUpdate(cipher.get(), nullptr, &length, bytesOf(context),
                          static_cast<int>(context.size())) == 1 &&
        EVP_EncryptUpdate(cipher.get(), body, &length, bytesOf(plain),
                          static_cast<int>(plain.size())) == 1 &&
        EVP_EncryptFinal_ex(cipher.get(), body + length, &length) == 1 &&
        EVP_CIPHER_CTX_ctrl(cipher.get(), EVP_CTRL_GCM_GET_TAG, kTagBytes, body + plain.size()) ==
            1;
    if (!ok) {
        problem = "the encryption library failed";
        return std::nullopt;
    }
    return sealed;
}

std::optional<std::string> OpenSslSecretCipher::Open(std::string_view sealed,
                                                     std::string_view context) {
    std::lock_guard lock(m_mutex);
    if (sealed.size() < kOverhead || static_cast<std::uint8_t>(sealed[0]) != kVersion) {
        return std::nullopt;
    }
    std::string ignored;
    const Key* secret = key(false, ignored);
    if (secret == nullptr) {
        return std::nullopt;
    }
    const std::size_t size = sealed.size() - kOverhead;
    const unsigned char* nonce = bytesOf(sealed) + 1;
    const unsigned char* body = nonce + kNonceBytes;
    std::string tag(sealed.substr(1 + kNonceBytes + size));
    std::string plain(size, '\0');
    CipherContext cipher(EVP_CIPHER_CTX_new());
    int length = 0;
    const bool ok =
        cipher &&
        EVP_DecryptInit_ex(cipher.get(), EVP_aes_256_gcm(), nullptr, secret->data(), nonce) == 1 &&
        EVP_DecryptUpdate(cipher.get(), nullptr, &length, bytesOf(context),
                          static_cast<int>(context.size())) == 1 &&
        EVP_DecryptUpdate(cipher.get(), bytesOf(plain), &length, body, static_cast<int>(size)) ==
            1 &&
        EVP_CIPHER_CTX_ctrl(cipher.get(), EVP_CTRL_GCM_SET_TAG, kTagBytes, tag.data()) == 1 &&
        EVP_DecryptFinal_ex(cipher.get(), bytesOf(plain) + length, &length) == 1;
    return ok ? std::optional<std::string>(std::move(plain)) : std::nullopt;
}

}  // namespace sonaro
