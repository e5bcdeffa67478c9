#pragma once

#include <string>
#include <string_view>

namespace etherm {

// The system's own texts are Windows-1250 bytes in files and UTF-8 on screen.
std::string Cp1250ToUtf8(std::string_view bytes);
// Characters without a Windows-1250 byte become '?'.
std::string Utf8ToCp1250(std::string_view utf8);

}  // namespace etherm
