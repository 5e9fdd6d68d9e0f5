#include "mail.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace velmora::server {

namespace {

std::string Rfc5322Date(std::int64_t now) {
    std::time_t t = static_cast<std::time_t>(now);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%a, %d %b %Y %H:%M:%S +0000", &tm);
    return buffer;
}

// Header text limited to printable ASCII on one line.
std::string HeaderText(const std::string& text) {
    std::string out;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        out += (byte < 0x20 || byte >= 0x7f) ? ' ' : c;
    }
    return out;
}

// A subject in plain ASCII stays as it is; any other goes as RFC 2047
// encoded words of UTF-8 in base64, each whole characters and short enough
// for a line of its own.
std::string SubjectText(const std::string& subject) {
    bool plain = std::all_of(subject.begin(), subject.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte < 0x7f;
    });
    if (plain)
        return subject;
    std::string out;
    std::size_t start = 0;
    while (start < subject.size()) {
        std::size_t end = std::min(subject.size(), start + 45);
        // Never split a UTF-8 sequence between two words.
        while (end < subject.size() && end > start + 1 &&
               (static_cast<unsigned char>(subject[end]) & 0xC0) == 0x80)
            --end;
        std::string piece = subject.substr(start, end - start);
        for (char& c : piece) {
            if (c == '\r' || c == '\n')
                c = ' ';
        }
        std::string encoded(sodium_base64_ENCODED_LEN(piece.size(), sodium_base64_VARIANT_ORIGINAL),
                            '\0');
        sodium_bin2base64(encoded.data(), encoded.size(),
                          reinterpret_cast<const unsigned char*>(piece.data()), piece.size(),
                          sodium_base64_VARIANT_ORIGINAL);
        encoded.resize(std::strlen(encoded.c_str()));
        if (!out.empty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + encoded + "?=";
        start = end;
    }
    return out;
}

} // namespace

std::string FormatMail(const MailRow& mail, std::int64_t id, std::int64_t now) {
    std::string eml;
    eml += "Date: " + Rfc5322Date(now) + "\r\n";
    eml += "From: Velmora <no-reply@velmora.invalid>\r\n";
    if (!mail.sender.empty())
        eml += "Reply-To: " + HeaderText(mail.sender) + "\r\n";
    eml += "To: " + HeaderText(mail.recipient) + "\r\n";
    eml += "Subject: " + SubjectText(mail.subject) + "\r\n";
    eml +=
        "Message-ID: <" + std::to_string(id) + "." + std::to_string(now) + "@velmora.invalid>\r\n";
    eml += "MIME-Version: 1.0\r\n";
    eml += "Content-Type: text/plain; charset=utf-8\r\n";
    eml += "Content-Transfer-Encoding: 8bit\r\n\r\n";
    // Bare line feeds and carriage returns become CRLF, as the format requires.
    for (std::size_t i = 0; i < mail.body.size(); ++i) {
        char ch = mail.body[i];
        if (ch == '\r') {
            if (i + 1 < mail.body.size() && mail.body[i + 1] == '\n')
                ++i;
            eml += "\r\n";
        } else if (ch == '\n') {
            eml += "\r\n";
        } else {
            eml += ch;
        }
    }
    eml += "\r\n";
    return eml;
}

} // namespace velmora::server
