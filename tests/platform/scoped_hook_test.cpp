#include "scoped_hook.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace velmora {
namespace {

TEST(ScopedHook, NestedScopesGiveBackTheHookBeforeThemEvenWhenLeftByAnException) {
    std::function<int()> slot = [] { return 0; };
    {
        ScopedHook<std::function<int()>> outer(slot, [] { return 1; });
        EXPECT_EQ(slot(), 1);
        try {
            ScopedHook<std::function<int()>> inner(slot, [] { return 2; });
            EXPECT_EQ(slot(), 2);
            throw std::runtime_error("a failing test");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(slot(), 1);
    }
    EXPECT_EQ(slot(), 0);
}

} // namespace
} // namespace velmora
