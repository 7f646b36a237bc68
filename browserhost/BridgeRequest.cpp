#include "BridgeRequest.h"

#include <exception>
#include <memory>

#include <json/json.h>

#include "base/Random.h"

namespace vekt::browser {
namespace {

struct KnownCall {
  const char* name;
  BridgeCall call;
  uint32_t message;
  const char* logLine;
};

// Window messages of the launcher's main window (WM_USER + 105 .. 108).
constexpr KnownCall kKnownCalls[] = {
    {"min_wnd", BridgeCall::kMinimise, 1129, "min_wnd call"},
    {"close_wnd", BridgeCall::kClose, 1130, "close_wnd call"},
    {"open_game", BridgeCall::kOpenGame, 1131, "open_game call"},
    {"wnd_mousemove", BridgeCall::kDrag, 1132, "wnd_mousemove call"},
};

bool parseRequest(std::string_view text, Json::Value& root) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  builder["allowComments"] = true;
  builder["stackLimit"] = 64;  // deep nesting fails instead of exhausting the stack
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  return reader->parse(text.data(), text.data() + text.size(), &root, &errors);
}

}  // namespace

BridgeRequest DecodeBridgeRequest(std::string_view text) noexcept {
  BridgeRequest request;
  if (text.empty() || text.size() > kMaxRequestBytes) return request;
  try {
    Json::Value root;
    if (!parseRequest(text, root) || !root.isObject()) return request;
    static constexpr char kKey[] = "funcation_name";
    const Json::Value* name = root.find(kKey, kKey + sizeof kKey - 1);
    if (!name || !name->isString()) return request;
    const char* begin = nullptr;
    const char* end = nullptr;
    name->getString(&begin, &end);
    const std::string_view nameText(begin, static_cast<size_t>(end - begin));
    for (const KnownCall& known : kKnownCalls) {
      if (nameText == known.name) return BridgeRequest{known.call, known.message, known.logLine};
    }
  } catch (const std::exception&) {
    // The reader throws past its nesting limit and on allocation failure.
  }
  return request;
}

bool IsWebAddress(std::u16string_view address) noexcept {
  auto startsWithScheme = [&](std::u16string_view scheme) {
    if (address.size() <= scheme.size()) return false;
    for (size_t i = 0; i < scheme.size(); ++i) {
      char16_t c = address[i];
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
      if (c != scheme[i]) return false;
    }
    return true;
  };
  return startsWithScheme(u"http://") || startsWithScheme(u"https://");
}

// Any process on the desktop can post 1131 to the window: a token it could
// guess (a count) would let it start the game with a pending request.
uintptr_t RequestTextQueue::push(std::string text) {
  if (pending_.size() >= kMaxPending) return 0;
  uintptr_t token = 0;
  do {
    if (!base::secureRandomBytes(&token, sizeof token)) return 0;
  } while (token == 0 || pending_.count(token) != 0);
  pending_.emplace(token, std::move(text));
  return token;
}

bool RequestTextQueue::take(uintptr_t token, std::string& text) {
  auto found = pending_.find(token);
  if (found == pending_.end()) return false;
  text = std::move(found->second);
  pending_.erase(found);
  return true;
}

}  // namespace vekt::browser
