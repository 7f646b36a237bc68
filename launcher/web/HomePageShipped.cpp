#include "GameStart.h"
#include "HomePageChoice.h"

namespace vekt {

std::wstring ConfiguredHomePage() { return HomePageBase(); }

}  // namespace vekt
