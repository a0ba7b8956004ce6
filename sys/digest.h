// SHA-256 of a byte stream, from the system's own cryptography: libcrypto on POSIX, CNG
// (BCryptHash...) on Windows.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace sys {

class Sha256 {
  public:
    static constexpr std::size_t size = 32; // bytes of a digest

    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t length);
    void Update(const std::string& bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything given since construction or the last Final, as 32 raw bytes;
    // the object starts again empty.
    std::string Final();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace sys
