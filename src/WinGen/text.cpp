// Text routines the units format with.
#include "WinGen/WinGen.h"

#include <cmath>
#include <cstdio>

std::string NumText(std::int32_t value) {
  return std::to_string(value);
}

// Rounds to the nearest value with `decimals` places, halves away from zero.
std::string FixedText(std::int16_t decimals, double value) {
  const int places = decimals < 0 ? 0 : (decimals > 18 ? 18 : decimals);
  const double scale = std::pow(10.0, places);
  double rounded = std::round(value * scale) / scale;
  if (rounded == 0.0)
    rounded = 0.0; // no "-0.0000"
  char text[400];
  std::snprintf(text, sizeof text, "%.*f", places, rounded);
  return text;
}

std::string UpperText(const std::string &text) {
  std::string upper = text;
  for (char &c : upper)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

std::string PadRight(const std::string &text, std::uint8_t width) {
  if (text.size() >= width)
    return text.substr(0, width);
  return text + std::string(width - text.size(), ' ');
}

std::string PadLeft(const std::string &text, std::uint8_t width) {
  if (text.size() >= width)
    return text.substr(0, width);
  return std::string(width - text.size(), ' ') + text;
}
