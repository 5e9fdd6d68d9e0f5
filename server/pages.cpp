#include "pages.h"

#include "text.h"

namespace velmora::server {

std::string Page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
           " - Velmora</title></head>\n<body>\n<h1>" + HtmlEscape(title) + "</h1>\n" + body +
           "</body></html>\n";
}

std::string SignInForm(const std::string& next) {
    return "<form method=\"post\" action=\"/web/signin\">\n"
           "<input type=\"hidden\" name=\"next\" value=\"" +
           HtmlEscape(next) +
           "\">\n<label>Account id <input name=\"accountid\"></label>\n"
           "<label>Password <input type=\"password\" name=\"password\"></label>\n"
           "<button type=\"submit\">Sign in</button>\n</form>\n";
}

} // namespace velmora::server
