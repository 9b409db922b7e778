#pragma once
// Every fuzz target defines LLVMFuzzerTestOneInput and its seed inputs. Built
// with libFuzzer (clang, VELMORA_FUZZ) the fuzzer drives it; otherwise
// replay_main.cpp mutates the seeds deterministically and runs a few thousand
// inputs, so every test run exercises the target under the sanitizers.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Prompter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
std::vector<std::string> FuzzSeeds();

namespace velmora::fuzz {

// Answers everything with its first button and says nothing.
class QuietPrompter final : public Prompter {
public:
    PromptAnswer Message(const std::string&, const std::string&, PromptIcon, PromptButtons) override
    {
        return PromptAnswer::Ok;
    }
    std::optional<std::string> ChooseOpenFile(const std::string&, const std::vector<FileFilter>&) override
    {
        return std::nullopt;
    }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::vector<FileFilter>&, const std::string&,
                                              const std::string&) override
    {
        return std::nullopt;
    }
    std::optional<int> AskCircuitCount() override { return 2; }
    void SetBusy(bool) override { }
};

} // namespace velmora::fuzz
