#pragma once

#include <string>

namespace velmora {

// The window layout values the program keeps itself, in QSettings (user
// scope, organisation "velmora media player", application "velmora_player",
// group "Settings"), all as decimal texts.
namespace registry {

// The value's text; empty when it is missing.
std::string Read(const std::string& name);
void Write(const std::string& name, const std::string& text);

// A stored text as a number: signed decimal up to the first non-digit, so a
// negative edge from a second monitor survives; no leading digits reads 0.
int ToNumber(const std::string& text);

} // namespace registry
} // namespace velmora
