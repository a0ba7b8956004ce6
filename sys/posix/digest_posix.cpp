#include "sys/digest.h"
#include "sys/sys.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <stdexcept>

namespace sys {

struct Sha256::Impl {
    struct Free {
        void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> context{EVP_MD_CTX_new()};
    void Start() {
        if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
            throw std::runtime_error("SHA-256 is not available");
    }
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
    impl_->Start();
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t length) {
    if (length != 0)
        EVP_DigestUpdate(impl_->context.get(), data, length);
}

std::string Sha256::Final() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(impl_->context.get(), digest, &length);
    impl_->Start();
    return std::string(reinterpret_cast<const char*>(digest), length);
}

bool RandomBytes(void* bytes, std::size_t count) {
    return RAND_bytes(static_cast<unsigned char*>(bytes), static_cast<int>(count)) == 1;
}

} // namespace sys
