#include "text_prompt.h"

namespace velmora {

namespace {

TextPrompter& Installed() {
    static TextPrompter prompter;
    return prompter;
}

} // namespace

std::string AskText(const std::string& prompt, const std::string& initial) {
    return Installed() ? Installed()(prompt, initial) : std::string();
}

ScopedTextPrompter::ScopedTextPrompter(TextPrompter prompter)
    : ScopedHook(Installed(), std::move(prompter)) {}

} // namespace velmora
