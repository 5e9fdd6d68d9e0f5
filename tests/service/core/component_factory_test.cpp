#include "component_factory.h"
#include "component_interfaces.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// Only what the test needs of a media file: a real object whose queries can
// succeed and fail.
class FakeFile : public IMediaFile {
public:
    std::int32_t FileId() override { return 9; }
    std::string Name() override { return "song.mp3"; }
};

const Guid kTestClass{0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};

} // namespace

TEST(ComponentFactory, UnknownClassGivesNullWithoutThrowing) {
    EXPECT_EQ(CreateComponent<IMediaFile>(kTestClass), nullptr);
    try {
        ComponentFactory::instance().create(kTestClass);
        FAIL() << "an unregistered class was created";
    } catch (const ComError& e) {
        EXPECT_EQ(e.hr(), REGDB_E_CLASSNOTREG);
    }
}

TEST(ComponentFactory, ScopedComponentInstallsAndRestores) {
    {
        ScopedComponent scoped(kTestClass, [] { return std::make_shared<FakeFile>(); });
        auto file = CreateComponent<IMediaFile>(kTestClass);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->FileId(), 9);
        // The object does not offer another interface: the query gives null.
        EXPECT_EQ(CreateComponent<IFolder>(kTestClass), nullptr);
        {
            ScopedComponent inner(kTestClass, []() -> ComPtr { throw ComError(E_FAIL, {}); });
            EXPECT_EQ(CreateComponent<IMediaFile>(kTestClass), nullptr);
        }
        EXPECT_NE(CreateComponent<IMediaFile>(kTestClass), nullptr);
    }
    EXPECT_FALSE(ComponentFactory::instance().isRegistered(kTestClass));
}

TEST(ComponentFactory, CreatorReturningNullIsAFailure) {
    ScopedComponent scoped(kTestClass, [] { return ComPtr(); });
    try {
        ComponentFactory::instance().create(kTestClass);
        FAIL() << "a null object was handed out as created";
    } catch (const ComError& e) {
        EXPECT_EQ(e.hr(), E_OUTOFMEMORY);
    }
}
