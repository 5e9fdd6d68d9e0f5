#include "accel_text.h"

#include <QKeySequence>

namespace velmora {

namespace {

constexpr int kEscapeCharacter = 27;
constexpr qsizetype kMaxKeyName = 64;

} // namespace

QString CAccelText::ToText() const {
    QString text;
    if (flags_ & Control)
        text += QStringLiteral("Ctrl+");
    if (flags_ & Shift)
        text += QStringLiteral("Shift+");
    if (flags_ & Alt)
        text += QStringLiteral("Alt+");
    if (flags_ & VirtualKey)
        text += QKeySequence(key_).toString(QKeySequence::NativeText).left(kMaxKeyName);
    else if (key_ != kEscapeCharacter)
        text += QChar(key_);
    return text;
}

} // namespace velmora
