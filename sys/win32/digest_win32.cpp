#include "sys/digest.h"
#include "sys/sys.h"

#include <windows.h>

#include <bcrypt.h>

#include <stdexcept>

namespace sys {

// One algorithm provider for the process; CNG keeps it thread-safe.
struct Sha256::Impl {
    BCRYPT_HASH_HANDLE hash = nullptr;
    static BCRYPT_ALG_HANDLE Algorithm() {
        static BCRYPT_ALG_HANDLE algorithm = [] {
            BCRYPT_ALG_HANDLE h = nullptr;
            if (BCryptOpenAlgorithmProvider(&h, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
                throw std::runtime_error("SHA-256 is not available");
            return h;
        }();
        return algorithm;
    }
    void Start() {
        if (BCryptCreateHash(Algorithm(), &hash, nullptr, 0, nullptr, 0, 0) != 0)
            throw std::runtime_error("SHA-256 is not available");
    }
    ~Impl() {
        if (hash != nullptr)
            BCryptDestroyHash(hash);
    }
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
    impl_->Start();
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t length) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (length != 0) {
        const ULONG chunk = length > 0x40000000u ? 0x40000000u : static_cast<ULONG>(length);
        BCryptHashData(impl_->hash, const_cast<PUCHAR>(bytes), chunk, 0);
        bytes += chunk;
        length -= chunk;
    }
}

std::string Sha256::Final() {
    unsigned char digest[size];
    BCryptFinishHash(impl_->hash, digest, size, 0);
    BCryptDestroyHash(impl_->hash);
    impl_->hash = nullptr;
    impl_->Start();
    return std::string(reinterpret_cast<const char*>(digest), size);
}

bool RandomBytes(void* bytes, std::size_t count) {
    return BCryptGenRandom(nullptr, static_cast<PUCHAR>(bytes), static_cast<ULONG>(count),
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

} // namespace sys
