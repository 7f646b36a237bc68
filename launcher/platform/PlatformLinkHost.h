// Host stand-in of the window messages of the platform client link: what the
// launcher would send or post is kept in a journal that tests read.
#pragma once

#include <vector>

#include "PlatformLink.h"

namespace vekt {

struct SentWindowMessage {
  WindowHandle target = 0;
  uint32_t message = 0;  // 74 (WM_COPYDATA) for copy-data
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  uintptr_t copyDataKind = 0;
  std::vector<unsigned char> data;
};

// Returns the journal and empties it.
std::vector<SentWindowMessage> TakeSentWindowMessages();

}  // namespace vekt
