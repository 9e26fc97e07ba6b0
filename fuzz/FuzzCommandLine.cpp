// The command line's arguments: the input is split into words at NUL bytes
// (as the kernel hands them to the program) and parsed. Parsing must never
// crash, and what it answers must be what the commands can rely on: a
// refusal is one printable line, a command has a known name, only its own
// options and as many operands as it takes, and every required option. The
// same words parse the same way every time.

#include <cstdint>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "FuzzSupport.h"

namespace {

using fuzzsupport::Require;

std::vector<std::string> Words(const uint8_t* data, size_t size) {
    std::vector<std::string> words;
    std::string word;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(char(data[i]));
        }
    }
    if (size > 0) words.push_back(word);
    return words;
}

bool OneLine(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return !text.empty() && text.size() < 400;
}

void CheckCommand(const cli::Invocation& inv) {
    Require(inv.command != nullptr, "a command without its table row");
    Require(cli::FindCommand(inv.command->name) == inv.command, "a command the table does not know");
    const int count = int(inv.operands.size());
    Require(count >= inv.command->minOperands && count <= inv.command->maxOperands, "operands beyond the command's count");
    for (const std::string& operand : inv.operands) Require(!operand.empty(), "an empty operand");
    for (const auto& [name, values] : inv.options) {
        const cli::OptionSpec* option = nullptr;
        for (const cli::OptionSpec& o : inv.command->options)
            if (o.name == name) option = &o;
        Require(option != nullptr, "an option the command does not have");
        Require(!values.empty(), "an option recorded without a value");
        Require(option->repeatable || values.size() == 1, "a single option given twice");
        for (const std::string& value : values) {
            Require(option->value.empty() == value.empty(), "a flag with a value or a value option without one");
            if (!option->choices.empty()) {
                bool known = false;
                for (std::string_view choice : option->choices) known = known || choice == value;
                Require(known, "a value outside the option's choices");
            }
        }
    }
    for (const cli::OptionSpec& o : inv.command->options)
        Require(!o.required || inv.Flag(o.name), "a required option missing");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> words = Words(data, size);
    const cli::Invocation inv = cli::Parse(words);
    switch (inv.face) {
    case cli::Invocation::Face::Error:
        Require(OneLine(inv.error), "a refusal that is not one printable line");
        break;
    case cli::Invocation::Face::Command:
        CheckCommand(inv);
        break;
    case cli::Invocation::Face::Help:
        if (inv.command) Require(!cli::CommandHelp(*inv.command).empty(), "an empty command help");
        break;
    case cli::Invocation::Face::Window:
        Require(words.size() <= 1, "the window started with more than one argument");
        break;
    case cli::Invocation::Face::Version:
        break;
    }
    const cli::Invocation again = cli::Parse(words);
    Require(again.face == inv.face && again.command == inv.command && again.operands == inv.operands &&
                again.options == inv.options && again.error == inv.error && again.file == inv.file,
            "the same words parsed two ways");
    return 0;
}
