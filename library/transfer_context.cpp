#include "transfer_context.h"

#include "text_utils.h"

#include <charconv>
#include <cstdint>

namespace velmora {

namespace {

constexpr char kSeparator = '^';

std::string Escape(const std::string& field) {
    return EscapeSeparator(field, kSeparator);
}

std::string Unescape(const std::string& field) {
    return UnescapeSeparator(field, kSeparator);
}

template <class T> T Number(const std::string& text) {
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() ? value : T{};
}

} // namespace

std::string TransferContext::Text() const {
    std::string text = std::to_string(item) + kSeparator + Escape(name) + kSeparator +
                       Escape(localPath) + kSeparator + std::to_string(image);
    for (const std::string& field : extra)
        text += kSeparator + Escape(field);
    return text;
}

std::optional<TransferContext> TransferContext::Parse(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(kSeparator, start);
        fields.push_back(Unescape(text.substr(start, at - start)));
        if (at == std::string::npos)
            break;
        start = at + 1;
    }
    if (fields.size() < 4)
        return std::nullopt;
    TransferContext context;
    context.item = Number<Handle>(fields[0]);
    context.name = fields[1];
    context.localPath = fields[2];
    context.image = Number<int>(fields[3]);
    context.extra.assign(fields.begin() + 4, fields.end());
    return context;
}

std::int32_t TransferContext::NewFileId() const {
    return extra.empty() ? 0 : Number<std::int32_t>(extra.front());
}

} // namespace velmora
