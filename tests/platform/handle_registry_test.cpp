#include "handle_registry.h"

#include <QObject>
#include <gtest/gtest.h>

using namespace velmora;

TEST(HandleRegistry, WindowKeepsOneHandleUntilDestroyed) {
    auto* window = new QObject;
    Handle h = HandleOf(window);
    EXPECT_NE(h, 0u);
    EXPECT_EQ(HandleOf(window), h);
    EXPECT_EQ(WindowFromHandle(h), window);
    delete window;
    EXPECT_EQ(WindowFromHandle(h), nullptr);
    // A new object never takes over an old handle, even at the same address.
    QObject other;
    EXPECT_NE(HandleOf(&other), h);
    EXPECT_EQ(WindowFromHandle(h), nullptr);
    EXPECT_EQ(HandleOf(nullptr), 0u);
    EXPECT_EQ(WindowFromHandle(0), nullptr);
}

TEST(HandleRegistry, ItemsResolveUntilRemoved) {
    auto& registry = HandleRegistry::instance();
    int a = 1, b = 2;
    Handle ha = registry.addItem(&a);
    Handle hb = registry.addItem(&b);
    EXPECT_NE(ha, hb);
    EXPECT_EQ(registry.itemAs<int>(ha), &a);
    registry.removeItem(ha);
    EXPECT_EQ(registry.item(ha), nullptr);
    EXPECT_EQ(registry.itemAs<int>(hb), &b);
    registry.removeItem(hb);
    EXPECT_EQ(registry.item(987654321), nullptr);
}
