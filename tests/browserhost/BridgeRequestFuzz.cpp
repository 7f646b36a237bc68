// The page's request text through the decoder: any bytes give a known call or none.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "BridgeRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const vekt::browser::BridgeRequest request =
      vekt::browser::DecodeBridgeRequest(std::string_view(reinterpret_cast<const char*>(data), size));
  const bool known = request.call == vekt::browser::BridgeCall::kNone
                         ? request.message == 0
                         : request.message >= 1129 && request.message <= 1132;
  if (!known) std::abort();
  return 0;
}
