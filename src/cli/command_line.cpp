#include "cli/command_line.h"

#include <map>

const char* const kUsageText =
    "usage: pellmar keygen --out KEYPAIR_FILE [--public-out PUBLIC_KEY_FILE]\n"
    "       pellmar encrypt --to RECIPIENT [--output OUT | --output-dir DIR] [--force] [--quiet]\n"
    "                       FILE...\n"
    "       pellmar decrypt [--key KEYPAIR_FILE] [--output OUT | --output-dir DIR] [--force]\n"
    "                       [--quiet] CONTAINER...\n"
    "\n"
    "keygen   writes a new RSA-2048 key pair file (and its public key file); never replaces a "
    "file.\n"
    "encrypt  encrypts each FILE for RECIPIENT, a public key file or its http/https URL, into\n"
    "         FILE with its extension replaced by \".enp\".\n"
    "decrypt  decrypts each CONTAINER with KEYPAIR_FILE (a key pair file or \".exp\" export), or\n"
    "         else with your own key pairs, into the file's original name in this folder.\n"
    "--output      names the output of the one FILE or CONTAINER.\n"
    "--output-dir  puts each output into DIR instead, under the name it would have had.\n"
    "--force       replaces outputs that exist.\n"
    "--quiet       shows no progress bar (there is one on stderr only when it is a terminal).\n"
    "\n"
    "With several files, one that fails is reported and the others go on; the exit status is\n"
    "then 1. Ctrl-C stops the file being worked on, leaves nothing of it and ends the command.\n";

namespace {

// An option sets a text (--name VALUE) or a flag (--name); one of the two members is set.
struct SOptionRule {
    std::string SCommandLine::*m_value = nullptr;
    bool SCommandLine::*m_flag = nullptr;
};

using OptionRules = std::map<std::string, SOptionRule>;

OptionRules RulesFor(ECommand command)
{
    switch (command) {
    case ECommand::KeyGen:
        return {{"--out", {&SCommandLine::m_keyPairOut}},
                {"--public-out", {&SCommandLine::m_publicKeyOut}}};
    case ECommand::Encrypt:
        return {{"--to", {&SCommandLine::m_recipient}},
                {"--output", {&SCommandLine::m_output}},
                {"--output-dir", {&SCommandLine::m_outputDir}},
                {"--force", {nullptr, &SCommandLine::m_bForce}},
                {"--quiet", {nullptr, &SCommandLine::m_bQuiet}}};
    case ECommand::Decrypt:
        return {{"--key", {&SCommandLine::m_keyPairFile}},
                {"--output", {&SCommandLine::m_output}},
                {"--output-dir", {&SCommandLine::m_outputDir}},
                {"--force", {nullptr, &SCommandLine::m_bForce}},
                {"--quiet", {nullptr, &SCommandLine::m_bQuiet}}};
    case ECommand::Help:
        break;
    }
    return {};
}

std::optional<ECommand> CommandNamed(const std::string& name)
{
    static const std::map<std::string, ECommand> commands {
        {"keygen", ECommand::KeyGen},   {"encrypt", ECommand::Encrypt},
        {"decrypt", ECommand::Decrypt}, {"help", ECommand::Help},
        {"--help", ECommand::Help},     {"-h", ECommand::Help}};
    auto found = commands.find(name);
    if (found == commands.end())
        return std::nullopt;
    return found->second;
}

// Takes "--name value", "--name=value" or a flag at arguments[next]; advances next past it.
bool TakeOption(const OptionRules& rules, const std::vector<std::string>& arguments,
                std::size_t& next, SCommandLine& command, std::string& error)
{
    const std::string& argument = arguments[next++];
    const std::string::size_type equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    auto rule = rules.find(name);
    if (rule == rules.end()) {
        error = "unknown option " + name;
        return false;
    }
    if (rule->second.m_flag) {
        if (equals != std::string::npos) {
            error = name + " takes no value";
            return false;
        }
        command.*rule->second.m_flag = true;
        return true;
    }
    if (equals != std::string::npos) {
        command.*rule->second.m_value = argument.substr(equals + 1);
    } else if (next < arguments.size()) {
        command.*rule->second.m_value = arguments[next++];
    } else {
        error = name + " needs a value";
        return false;
    }
    if ((command.*rule->second.m_value).empty()) {
        error = name + " needs a value";
        return false;
    }
    return true;
}

// Where the outputs of encrypt or decrypt go: one named output fits one file only.
bool CheckOutputs(const SCommandLine& command, std::string& error)
{
    if (!command.m_output.empty() && !command.m_outputDir.empty())
        error = "--output and --output-dir cannot go together";
    else if (!command.m_output.empty() && command.m_files.size() > 1)
        error = "--output names the output of one file; use --output-dir DIR for several";
    return error.empty();
}

// The options each command cannot do without, and how many files it takes.
bool CheckComplete(const SCommandLine& command, std::string& error)
{
    switch (command.m_command) {
    case ECommand::KeyGen:
        if (command.m_keyPairOut.empty())
            error = "keygen needs --out KEYPAIR_FILE";
        else if (!command.m_files.empty())
            error = "keygen takes no file";
        break;
    case ECommand::Encrypt:
        if (command.m_recipient.empty())
            error = "encrypt needs --to RECIPIENT";
        else if (command.m_files.empty())
            error = "encrypt needs at least one FILE";
        else
            CheckOutputs(command, error);
        break;
    case ECommand::Decrypt:
        if (command.m_files.empty())
            error = "decrypt needs at least one CONTAINER";
        else
            CheckOutputs(command, error);
        break;
    case ECommand::Help:
        break;
    }
    return error.empty();
}

} // namespace

std::optional<SCommandLine> ParseCommandLine(const std::vector<std::string>& arguments,
                                             std::string& error)
{
    error.clear();
    SCommandLine command;
    if (arguments.empty())
        return command;
    std::optional<ECommand> kind = CommandNamed(arguments[0]);
    if (!kind) {
        error = "unknown command " + arguments[0];
        return std::nullopt;
    }
    command.m_command = *kind;
    const OptionRules rules = RulesFor(command.m_command);
    bool optionsEnded = false;
    for (std::size_t next = 1; next < arguments.size();) {
        const std::string& argument = arguments[next];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            ++next;
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            if (!TakeOption(rules, arguments, next, command, error))
                return std::nullopt;
        } else {
            command.m_files.push_back(argument);
            ++next;
        }
    }
    if (!CheckComplete(command, error))
        return std::nullopt;
    return command;
}
