// JSON text pieces shared by the exports that viewers open.
#pragma once
#include <string>

namespace zem {

// s as a quoted JSON string; control bytes escaped, other bytes as they are.
void appendJsonString(std::string& out, const std::string& s);

}  // namespace zem
