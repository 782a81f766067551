#pragma once
// UTF-16 <-> UTF-8 for the host's files and terminal (lone surrogates become U+FFFD).
#include <string>
#include <string_view>

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);
