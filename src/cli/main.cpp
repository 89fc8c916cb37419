#include "cli/command_line.h"
#include "cli/commands.h"
#include "net/curl_library.h"

#include <iostream>

int main(int argc, char** argv)
{
    const CCurlLibrary curl;
    if (!curl.IsReady()) {
        std::cerr << "pellmar: the transfer library (libcurl) cannot be set up\n";
        return kExitFailure;
    }
    std::string error;
    const std::optional<SCommandLine> command =
        ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!command) {
        std::cerr << "pellmar: " << error << "\n" << kUsageText;
        return kExitUsage;
    }
    switch (command->m_command) {
    case ECommand::KeyGen:
        return RunKeyGen(*command);
    case ECommand::Encrypt:
        return RunEncrypt(*command);
    case ECommand::Decrypt:
        return RunDecrypt(*command);
    case ECommand::Help:
        break;
    }
    std::cout << kUsageText;
    return kExitSuccess;
}
