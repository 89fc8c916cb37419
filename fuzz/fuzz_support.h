#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What the fuzz targets and the corpus generator share: the scratch folder, the fixtures and the
// set-up the password code needs.

// The machine identifier the corpus generator protects its passwords under and the targets run
// with, so seeded PASSWORD values decrypt and the fuzzer starts beyond the padding check.
inline constexpr std::string_view kFuzzMachineId = "0800271A2B3C0000";

// The fixed key pair, in the corpus folder: the corpus containers are made for it, and the
// decryption target opens every container with it.
inline constexpr std::string_view kFixtureKeyPair = "fixtures/fuzz_key_pair.key";

// The committed corpus folder (fuzz/corpus/ in the source tree) followed by relativePath.
std::string CorpusPath(std::string_view relativePath);

// One scratch folder per process, made on first use under $TMPDIR (else /tmp) and removed with
// everything in it when the process ends. Its "temp/" folder becomes the program's temp folder
// (g_szTempFolder), so a temporary file the code under test leaves behind shows there.
const std::string& ScratchFolder();
// ScratchFolder() + "/" + name.
std::string ScratchPath(std::string_view name);

// True when the program's temp folder holds nothing.
bool IsTempFolderEmpty();

// Replaces the content of the file at path (made when missing) with the input, keeping the file
// itself, so hard links to it read the new content too.
void WriteInputFile(const std::string& path, const std::uint8_t* data, std::size_t size);

// Readies the password functions for the rest of the process: OpenSSL's legacy provider loaded
// and g_szMachineId set to kFuzzMachineId. Calling it again changes nothing.
void EnablePasswordProtection();

// Reports a broken promise of the code under test and aborts, so libFuzzer keeps the input.
[[noreturn]] void FuzzFailure(std::string_view what);
