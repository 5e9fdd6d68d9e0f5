#include "accel_text.h"

#include <gtest/gtest.h>

#include <Qt>

#include <ostream>

using namespace velmora;

namespace {

struct AccelCase {
    const char* name;
    std::uint8_t flags;
    int key;
    const char* text;
};

void PrintTo(const AccelCase& c, std::ostream* os) {
    *os << c.name;
}

class AccelTextTest : public ::testing::TestWithParam<AccelCase> {};

TEST_P(AccelTextTest, Text) {
    const AccelCase& c = GetParam();
    EXPECT_EQ(CAccelText(c.flags, c.key).ToText().toStdString(), c.text);
}

constexpr std::uint8_t kVirt = CAccelText::VirtualKey;
constexpr std::uint8_t kAll = CAccelText::Alt | CAccelText::Shift | CAccelText::Control;

INSTANTIATE_TEST_SUITE_P(
    Entries, AccelTextTest,
    ::testing::Values(AccelCase{"ModifiersInFixedOrder", kVirt | kAll, Qt::Key_F,
                                "Ctrl+Shift+Alt+F"},
                      AccelCase{"ShiftThenAlt", kVirt | CAccelText::Alt | CAccelText::Shift,
                                Qt::Key_F7, "Shift+Alt+F7"},
                      AccelCase{"ControlCharacter", CAccelText::Control, 'f', "Ctrl+f"},
                      AccelCase{"KeyName", kVirt, Qt::Key_F2, "F2"},
                      AccelCase{"DeleteKeyName", kVirt, Qt::Key_Delete, "Del"},
                      AccelCase{"Character", 0, 'P', "P"},
                      AccelCase{"EscapeCharacterNamesNothing", 0, 27, ""},
                      AccelCase{"EscapeCharacterKeepsModifiers", CAccelText::Control, 27, "Ctrl+"}),
    [](const ::testing::TestParamInfo<AccelCase>& info) { return info.param.name; });

} // namespace
