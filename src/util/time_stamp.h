#pragma once

#include <chrono>
#include <string>

// A creation stamp is 17 digits, YYYYMMDDhhmmssfff, in UTC.
std::string TimeStampText(std::chrono::system_clock::time_point when);

// The creation stamp of this moment.
[[nodiscard]] bool MakeTimeStamp(std::string& stamp);

// The stamp as the user reads it: the locale's short date, one space, the time in 24-hour form,
// in the machine's time zone. An empty text when the stamp does not name a valid time.
bool FormatTimeStamp(const std::string& stamp, std::string& text);
