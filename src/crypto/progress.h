#pragma once

#include <cstdint>
#include <functional>

// Told now and then how far long work has come; returning false asks it to stop as soon as it
// can. Called on the thread that called the operation.
using ProgressCallback = std::function<bool(std::uint64_t bytesDone, std::uint64_t bytesTotal)>;
