#pragma once

// CAccelText: the text of one accelerator table entry, as a menu shows it
// right-aligned beside an entry's label ("Ctrl+F", "Del").

#include <QString>

#include <cstdint>

namespace velmora {

class CAccelText {
public:
    // The entry's flags. Without VirtualKey the key is a character.
    enum Flag : std::uint8_t {
        VirtualKey = 0x01,
        Shift = 0x04,
        Control = 0x08,
        Alt = 0x10,
    };

    // key: a Qt::Key for a virtual-key entry, else the character's code.
    CAccelText(std::uint8_t flags, int key) : flags_(flags), key_(key) {}

    // "Ctrl+", "Shift+", "Alt+" in that order for the flags present, then the
    // key's name (at most 64 characters) or the character. The escape
    // character names nothing.
    QString ToText() const;

    std::uint8_t Flags() const { return flags_; }
    int Key() const { return key_; }

private:
    std::uint8_t flags_;
    int key_;
};

} // namespace velmora
