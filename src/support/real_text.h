// Numbers with a fraction as text: the shortest decimal form that reads back
// as the same value ("21.5", not "21.500000"), in the C locale, as JSON and
// the metrics file both want them. Only for finite values.
#pragma once

#include <cstdint>
#include <string>

namespace kestrun {

std::string RealText(float value);
std::string RealText(double value);
// Milliseconds since 1970 as seconds with three decimals ("1765123456.789").
std::string UnixSecondsText(std::int64_t unixMs);

}  // namespace kestrun
