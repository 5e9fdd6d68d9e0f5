#include "mail.h"

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

} // namespace

std::string FormatMail(const MailRow& mail, std::int64_t id, std::int64_t now) {
    std::string eml;
    eml += "Date: " + Rfc5322Date(now) + "\r\n";
    eml += "From: Velmora <no-reply@velmora.invalid>\r\n";
    if (!mail.sender.empty())
        eml += "Reply-To: " + HeaderText(mail.sender) + "\r\n";
    eml += "To: " + HeaderText(mail.recipient) + "\r\n";
    eml += "Subject: " + HeaderText(mail.subject) + "\r\n";
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
