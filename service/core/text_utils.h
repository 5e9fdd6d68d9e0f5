#pragma once

// Small text functions shared by the whole program: splitting of context
// texts and paths, and a few conversions. The encodings of the wire are in
// wire/. All text is 8-bit (UTF-8 on Linux) held in std::string.

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Appends the pieces between separators to out: always one piece more than
// there are separators, empty pieces included.
void Split(const std::string& text, char separator, std::vector<std::string>& out);

// The piece after the last "/", or the whole text when there is none.
std::string FileNameOfPath(const std::string& path);

// The text followed by blanks up to width; unchanged when already as long.
std::string PadRight(const std::string& text, int width);

std::string NumberToText(std::int32_t number);

// The decimal value of the leading digits, 0 when there are none. Leading
// white space and one sign are accepted (ids of -1 travel in texts); a value
// beyond the 32-bit range is clamped to it.
std::int32_t TextToNumber(const std::string& text);

// The text with "%" and the separator written as "%" and two upper-case hex
// digits, so that it can stand between separators; UnescapeSeparator undoes
// it and leaves every other "%" sequence as it is.
std::string EscapeSeparator(const std::string& text, char separator);
std::string UnescapeSeparator(const std::string& text, char separator);

} // namespace velmora
