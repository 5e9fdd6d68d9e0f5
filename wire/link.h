#pragma once

// Web links to library items. The player makes them (Copy Link, Copy Media
// Link), the service makes them for mailed links and opens them all, so both
// take the paths and the key encoding from here.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::wire::link {

// Link paths on the service's web host; the encoded key follows.
inline constexpr char kFilePath[] = "/f?k=";
inline constexpr char kFolderPath[] = "/d?k=";
inline constexpr char kPlayPath[] = "/6/8?p=";
// The message bar's page: "USERID~MSGID~velmoraplayer~" and the message link.
inline constexpr char kPlayerPagePath[] = "/player?m=";
// Appended to file and folder links, followed by NameValue of the item's name.
inline constexpr char kNameParameter[] = "&name=";

// Codes for "0" to "9", then "~". All differ and none is a prefix of another.
inline constexpr std::array<std::string_view, 11> kCodes = {
    "q3z", "b8m", "x1r", "n5t", "h2w", "c9p", "v4k", "j6d", "f0s", "y7g", "u2e"};

// Each "0"-"9" and "~" of a node key becomes its code; any other character
// is dropped.
std::string Encode(std::string_view key);
// The key an encoded text stands for; nothing when the text is not made of
// whole codes.
std::optional<std::string> Decode(std::string_view encoded);
// The ids of an encoded key of exactly count "~"-separated 32-bit decimal
// numbers; nothing for anything else.
std::optional<std::vector<std::int32_t>> DecodeIds(std::string_view encoded, std::size_t count);

// A service host as the settings hold it: "name", "http://name" or
// "https://name" (the scheme in any case, a trailing "/" allowed).
struct ServiceHost {
    bool secure = false; // written with "https://"
    std::string_view name;
};
ServiceHost SplitHost(std::string_view host);

// "name:port" of a host as SplitHost reads it, with an IPv6 address in
// brackets so its colons do not read as the port: "[::1]:8080".
std::string HostPort(std::string_view host, int port);
// "http://" or "https://" as the host says, and HostPort: the base of every
// link and page on the service.
std::string WebOrigin(std::string_view host, int port);

// A name as the value of kNameParameter: blanks as "+", letters, digits and
// "-._~" as they are, every other byte as "%" and two uppercase hex digits.
// So "&", "#", "%", "+" and "=" in a name cannot cut or change the link, and
// PercentDecode gives the name back exactly.
std::string NameValue(std::string_view name);

// Every blank becomes "+"; nothing else changes. Only for names known to
// hold nothing else that a query reads specially; use NameValue otherwise.
std::string BlanksToPlus(std::string_view text);

} // namespace velmora::wire::link
