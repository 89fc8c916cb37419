#pragma once

#include <optional>
#include <string>
#include <vector>

// What the user asked the `pellmar` command to do.
enum class ECommand { Help, KeyGen, Encrypt, Decrypt };

struct SCommandLine {
    ECommand m_command = ECommand::Help;
    std::string m_keyPairOut;   // keygen --out
    std::string m_publicKeyOut; // keygen --public-out
    std::string m_recipient;    // encrypt --to
    std::string m_keyPairFile;  // decrypt --key
    std::string m_output;       // encrypt/decrypt --output (one file only)
    std::string m_outputDir;    // encrypt/decrypt --output-dir
    bool m_bForce = false;      // encrypt/decrypt --force
    bool m_bQuiet = false;      // encrypt/decrypt --quiet: no progress bar
    std::vector<std::string> m_files;
};

// Reads the arguments after the program name. Nothing, with error set to what is wrong, when they
// make no valid command.
std::optional<SCommandLine> ParseCommandLine(const std::vector<std::string>& arguments,
                                             std::string& error);

// How to call the command, for --help and after a usage error.
extern const char* const kUsageText;
