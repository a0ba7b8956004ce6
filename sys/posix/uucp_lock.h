#pragma once

#include <sys/types.h>

#include <string>

namespace sys::posix {

// The UUCP lock file that terminal programs (minicom, picocom, cu, screen) create and honour:
// LCK..<device> in the lock folder, holding the owner's PID in ten characters and a newline.
// Where there is no lock folder, or no right to write there, the port is used without one.
class UucpLock {
  public:
    // 0 when locked or when locks cannot be used here; EACCES when a live process holds it.
    int Acquire(const std::string& device);
    // Removes the lock file when it is still this process's.
    void Release();
    // The live process whose lock file holds device, or 0.
    static pid_t Holder(const std::string& device);

  private:
    static std::string Folder();
    // The lock file's path for a device.
    static std::string PathFor(const std::string& device);
    // The PID in a lock file: ASCII (HDB UUCP) or, from old programs, a binary int; -1 when
    // what stands there is no lock file.
    static pid_t Owner(const std::string& path);

    std::string path_;
};

} // namespace sys::posix
