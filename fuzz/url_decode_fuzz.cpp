// Percent decoding of query strings, form bodies and attribute values, the
// link name encoding, and the splitting of context texts: each encoding
// gives every text back exactly, and decoding never fails on any input.

#include "fuzz_check.h"
#include "text_utils.h"
#include "wire/link.h"
#include "wire/percent.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace wire = velmora::wire;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = velmora::fuzz::Text(data, size);

    (void)wire::PercentDecode(text);
    FUZZ_CHECK(wire::PercentDecode(wire::PercentEncode(text)) == text);
    FUZZ_CHECK(wire::PercentDecode(wire::link::NameValue(text)) == text);

    wire::FormMap form;
    wire::ParseForm(text, form);
    wire::FormFields fields(form.begin(), form.end());
    wire::FormMap again;
    wire::ParseForm(wire::FormEncode(fields), again);
    FUZZ_CHECK(again == form);

    // The first byte picks the separator, the rest is the text.
    if (size == 0)
        return 0;
    const char separator = text.front();
    const std::string rest = text.substr(1);
    std::vector<std::string> pieces;
    velmora::Split(rest, separator, pieces);
    FUZZ_CHECK(pieces.size() ==
               static_cast<std::size_t>(std::count(rest.begin(), rest.end(), separator)) + 1);
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        joined += (i ? std::string(1, separator) : std::string()) + pieces[i];
    FUZZ_CHECK(joined == rest);

    const std::string escaped = velmora::EscapeSeparator(rest, separator);
    // The escapes are "%" and hex digits, so only those may stay in the text.
    if (separator != '%' && !std::isxdigit(static_cast<unsigned char>(separator)))
        FUZZ_CHECK(escaped.find(separator) == std::string::npos);
    FUZZ_CHECK(velmora::UnescapeSeparator(escaped, separator) == rest);
    (void)velmora::UnescapeSeparator(rest, separator);
    (void)velmora::FileNameOfPath(rest);
    (void)velmora::TextToNumber(rest);
    return 0;
}
