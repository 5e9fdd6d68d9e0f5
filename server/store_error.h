#pragma once

#include <stdexcept>
#include <string>

namespace velmora::server {

// A refusal of the store: what went wrong in its own terms and a reason a
// person can read. The HTTP face decides what status each kind becomes.
class StoreError : public std::runtime_error {
public:
    enum class Kind {
        NotFound,     // missing, or not the caller's to see
        NameTaken,    // another entry already bears the name
        Conflict,     // the change clashes with stored data in another way
        Forbidden,    // the caller may see it but not do this to it
        TooLarge,     // beyond a size limit
        InvalidInput, // a name or value the store does not accept
        NotSignedIn,  // the acting user no longer exists
        OutOfSpace,   // ids or storage are used up
        Internal,     // the database failed
        Unavailable,  // the database is out of reach or busy for now
    };

    StoreError(Kind kind, const std::string& reason) : std::runtime_error(reason), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

} // namespace velmora::server
