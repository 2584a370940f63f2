// Text routines and byte-order routines shared by the units.
#pragma once

#include <cstdint>
#include <string>

std::string NumText(std::int32_t value);
std::string FixedText(std::int16_t decimals, double value);
std::string UpperText(const std::string &text);
std::string PadRight(const std::string &text, std::uint8_t width);
std::string PadLeft(const std::string &text, std::uint8_t width);
std::uint32_t ByteSwap32(std::uint32_t value);
std::uint16_t ByteSwap16(std::uint16_t value);
