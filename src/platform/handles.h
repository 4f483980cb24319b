// Owners for the handles that Os hands out: each closes its handle exactly
// once, through the Os that opened it, when it goes out of scope.
#pragma once

#include "platform/os.h"

namespace zv {

// The generic owner: Close is the Os member that releases the handle.
template <void (Os::*Close)(OsHandle)>
class UniqueOsHandle {
 public:
  explicit UniqueOsHandle(Os& os) : os_(&os) {}
  ~UniqueOsHandle() { Reset(); }
  UniqueOsHandle(const UniqueOsHandle&) = delete;
  UniqueOsHandle& operator=(const UniqueOsHandle&) = delete;

  OsHandle Get() const { return handle_; }
  bool IsOpen() const { return handle_ != 0; }
  // For the call that opens the handle; anything held before is closed.
  OsHandle& Receive() {
    Reset();
    return handle_;
  }
  void Reset() {
    if (handle_ != 0) {
      (os_->*Close)(handle_);
      handle_ = 0;
    }
  }

 private:
  Os* os_;
  OsHandle handle_ = 0;
};

using UniqueKey = UniqueOsHandle<&Os::CloseKey>;
using UniqueFile = UniqueOsHandle<&Os::CloseFile>;
using UniqueKernelHandle = UniqueOsHandle<&Os::CloseHandle>;

}  // namespace zv
