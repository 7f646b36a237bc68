// The game's web home page address with the launch parameters in its query, and
// the game's command line. Both carry values from outside (the platform client,
// the page), so each value is escaped for where it goes.
#pragma once

#include <string>

#include "LaunchParams.h"

namespace vekt {

constexpr const wchar_t* kHomePageHost = L"www.vekt-game.com";
constexpr const wchar_t* kHomePagePath = L"/client/index/vekt";

// "https://" + host + path.
std::wstring HomePageBase(const std::wstring& host = kHomePageHost);

// Percent-encodes a query value as UTF-8: unreserved characters and the
// harmless punctuation stay as they are; '&', '#', '+', '%', '=', spaces,
// controls and non-ASCII are encoded.
std::wstring EncodeQueryValue(const std::wstring& value);

// base, then "?fileparam=" (or "&fileparam=" when base already holds a '?') and
// the file parameter, then &token, &source, &ocext, &tokenLogin when not empty.
std::wstring HomePageAddress(const std::wstring& base, const std::wstring& fileParam, const LaunchParams& params);

// One argument quoted so the command-line splitting rules give it back whole;
// an argument without blanks or quotes (and not empty) stays byte-identical.
std::wstring QuoteArgument(const std::wstring& argument);

// "--source=" + source (always), then --tokenLogin, --token, --ocext, --winid
// (the game manager's window), --typeMode, --instGamePath, --cacheGamePath when
// not empty, each argument quoted, separated by one space.
std::wstring GameParameters(const LaunchParams& params);

}  // namespace vekt
