// The page's requests through window.external.g_callCppFunc: decoding of the
// JSON request text into the window message it asks for, and the queue that
// keeps "open_game" texts on the window's side so a message carries only a
// token, never an address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace vekt::browser {

constexpr const char16_t* kBridgeMethodName = u"g_callCppFunc";
constexpr int32_t kBridgeDispId = 1000;
constexpr const char* kBridgeResult = "{}";
// Longer texts are refused undecoded: a request is a small object.
constexpr size_t kMaxRequestBytes = 256 * 1024;

enum class BridgeCall { kNone, kMinimise, kClose, kOpenGame, kDrag };

struct BridgeRequest {
  BridgeCall call = BridgeCall::kNone;
  uint32_t message = 0;      // window message posted to the owner window
  const char* logLine = "";  // written at level 0 under "CallCppFunc"
};

// The request text after conversion to the ANSI code page. Anything that is not
// a JSON object with a known string "funcation_name" gives BridgeCall::kNone.
BridgeRequest DecodeBridgeRequest(std::string_view text) noexcept;

// Request texts waiting for the window. push hands out a token (never 0, drawn
// from the system's random source) that travels as wParam; take gives the text
// back once. Unknown, forged or already taken tokens give nothing. Bounded: a
// full queue (or no random source) refuses new texts.
// Only http and https addresses a page asks to open in a new window go to the
// system's browser; file, UNC and program paths never do.
bool IsWebAddress(std::u16string_view address) noexcept;

class RequestTextQueue {
 public:
  static constexpr size_t kMaxPending = 16;

  uintptr_t push(std::string text);
  bool take(uintptr_t token, std::string& text);
  // The message carrying the token could not be posted.
  void discard(uintptr_t token) { pending_.erase(token); }
  size_t pending() const { return pending_.size(); }

 private:
  std::map<uintptr_t, std::string> pending_;
};

}  // namespace vekt::browser
