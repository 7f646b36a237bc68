// Where the launcher's page comes from. The page receives the player's token
// and drives the game start, so the shipped launcher always opens the built-in
// site and nothing outside it (environment, files, registry) can change that.
// Builds made for tests link the other choice instead: they open the page that
// VEKT_HOME_PAGE names, so that tests can serve their own pages on loopback.
#pragma once
#include <string>

namespace vekt {

constexpr const wchar_t* kTestHomePageVariable = L"VEKT_HOME_PAGE";

// The home page base address of this build: HomePageBase() when shipped.
std::wstring ConfiguredHomePage();

}  // namespace vekt
