#include "provision/detect.h"

#include "platform/handles.h"

namespace zv {

bool IsNetFx35Installed(Os& os) {
  UniqueKey key(os);
  // Read access only: a check that asked for write access as well would
  // see a present framework as missing wherever the key is read-only.
  if (os.OpenMachineKey(kNetFx35SetupKey, kKeyRead, key.Receive()) != kErrorSuccess) return false;
  uint32_t value = 0;
  uint32_t type = 0;
  uint32_t size = sizeof value;
  const uint32_t status = os.ReadKeyValue(key.Get(), kNetFx35ServicePackValue, type, &value, size);
  return status == kErrorSuccess && type == kRegDword && size == sizeof value && value == 1;
}

}  // namespace zv
