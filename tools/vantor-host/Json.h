#pragma once
// The few pieces of JSON the host writes.
#include <string>
#include <string_view>

// A JSON string literal of UTF-8 text, quotes included.
std::string JsonText(std::string_view utf8);
// A number with `decimals` digits after the point.
std::string JsonNumber(double value, int decimals);
