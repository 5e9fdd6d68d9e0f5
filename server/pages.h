#pragma once

// The HTML of the service's web pages.

#include <string>

namespace velmora::server {

// A whole page with the title as heading; body is HTML already.
std::string Page(const std::string& title, const std::string& body);
// The sign-in form that comes back to next.
std::string SignInForm(const std::string& next);

} // namespace velmora::server
