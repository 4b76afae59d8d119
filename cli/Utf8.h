#pragma once
// UTF-8, the encoding of the command pipe and of marlowick.com's redirected output.
#include <string>
#include <string_view>

namespace cli {

std::string ToUtf8(std::wstring_view text);
// Invalid sequences read as U+FFFD.
std::wstring FromUtf8(std::string_view bytes);

}  // namespace cli
