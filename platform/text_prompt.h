#pragma once

// The program's prompt for one line of text (the application puts its prompt
// dialog here), reachable from every part that needs to ask, whichever
// libraries it may link.

#include "scoped_hook.h"

#include <functional>
#include <string>

namespace velmora {

// Given the prompt and the text the edit starts with: the typed text, or an
// empty text when cancelled.
using TextPrompter =
    std::function<std::string(const std::string& prompt, const std::string& initial)>;

// Asks through the installed prompter; with none installed the answer is ""
// (cancelled).
std::string AskText(const std::string& prompt, const std::string& initial = {});

class ScopedTextPrompter : public ScopedHook<TextPrompter> {
public:
    explicit ScopedTextPrompter(TextPrompter prompter);
};

} // namespace velmora
