#include "settings_store.h"

#include "component_factory.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

namespace velmora {
namespace {

// Points XDG_CONFIG_HOME at a fresh folder for one test and restores it after.
class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old)
            saved_ = old;
        hadOld_ = old != nullptr;
        setenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()).constData(), 1);
        RegisterSettingsComponent();
    }
    void TearDown() override {
        if (hadOld_)
            setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

    std::shared_ptr<ISettingsStore> create() {
        return CreateComponent<ISettingsStore>(CLSID_SettingsStore);
    }
    QString settingsPath() const { return dir_.path() + "/velmora/settings.ini"; }
    void writeRaw(const QByteArray& bytes) {
        QDir().mkpath(dir_.path() + "/velmora");
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir dir_;
    std::string saved_;
    bool hadOld_ = false;
};

TEST_F(SettingsStoreTest, DefaultsWithoutAFile) {
    auto store = create();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->Host(), "127.0.0.1");
    EXPECT_EQ(store->Port(), 8080);
    EXPECT_EQ(store->CleanUpOnExit(), VARIANT_FALSE);
    EXPECT_EQ(store->GetValue("repeat_on_play"), "");
    // The service's link pages, as the player appends the encoded key.
    EXPECT_EQ(store->FileLinkBase(), "http://127.0.0.1:8080/f?k=");
    EXPECT_EQ(store->FolderLinkBase(), "http://127.0.0.1:8080/d?k=");
    EXPECT_EQ(store->PlayerPageBase(), "http://127.0.0.1:8080/player?m=");
    EXPECT_FALSE(QFile::exists(settingsPath())) << "reading must not create the file";
}

TEST_F(SettingsStoreTest, ValuesPersistAcrossInstancesInTheXdgFolder) {
    {
        auto store = create();
        store->SetHost("media.example.test");
        store->SetPort(9123);
        store->SetCleanUpOnExit(VARIANT_TRUE);
        store->SetValue("repeat_on_play", "yes");
    }
    EXPECT_TRUE(QFile::exists(settingsPath()));
    auto again = create();
    EXPECT_EQ(again->Host(), "media.example.test");
    EXPECT_EQ(again->Port(), 9123);
    EXPECT_EQ(again->CleanUpOnExit(), VARIANT_TRUE);
    EXPECT_EQ(again->GetValue("repeat_on_play"), "yes");
    EXPECT_EQ(again->FolderLinkBase(), "http://media.example.test:9123/d?k=");
    EXPECT_EQ(again->PlayerPageBase(), "http://media.example.test:9123/player?m=");
}

TEST_F(SettingsStoreTest, AnInstanceSeesWritesOfAnotherLiveInstance) {
    auto a = create();
    auto b = create();
    EXPECT_EQ(b->Port(), 8080);
    a->SetPort(4000);
    EXPECT_EQ(b->Port(), 4000);
    b->SetHost("h");
    EXPECT_EQ(a->Host(), "h");
    EXPECT_EQ(a->Port(), 4000) << "writing one value keeps the others";
}

TEST_F(SettingsStoreTest, FlagIsTrueOnlyForMinusOne) {
    auto store = create();
    store->SetCleanUpOnExit(1);
    EXPECT_EQ(store->CleanUpOnExit(), VARIANT_FALSE);
    store->SetCleanUpOnExit(VARIANT_TRUE);
    EXPECT_EQ(store->CleanUpOnExit(), VARIANT_TRUE);
    store->SetCleanUpOnExit(VARIANT_FALSE);
    EXPECT_EQ(store->CleanUpOnExit(), VARIANT_FALSE);
}

TEST_F(SettingsStoreTest, NamedValuesAreKeptByteForByte) {
    auto store = create();
    // The store does not interpret values: "Yes" stays "Yes", and texts with
    // line breaks, separators and non-ASCII bytes come back unchanged.
    const std::vector<std::pair<std::string, std::string>> values = {
        {"repeat_on_play", "Yes"},
        {"Host", "not the host"},
        {"a=b", "x=y\nz"},
        {"[Settings]", "%41 100%"},
        {"w/slash", std::string("caf\xc3\xa9 \xff\x01", 8)},
        {"blank", ""},
        {"spaces", "  padded  "},
    };
    for (const auto& [name, value] : values)
        store->SetValue(name, value);
    auto again = create();
    for (const auto& [name, value] : values)
        EXPECT_EQ(again->GetValue(name), value) << name;
    EXPECT_EQ(again->Host(), "127.0.0.1") << "a named value must not shadow the host";
}

TEST_F(SettingsStoreTest, RefusesPortsOutsideTheTcpRangeAndKeepsTheOldOne) {
    auto store = create();
    store->SetPort(81);
    for (std::int32_t bad : {0, -1, 65536}) {
        try {
            store->SetPort(bad);
            ADD_FAILURE() << "port " << bad << " accepted";
        } catch (const ComError& e) {
            EXPECT_EQ(e.hr(), E_INVALIDARG);
            EXPECT_EQ(e.iid(), ISettingsStore::iid);
        }
    }
    EXPECT_EQ(store->Port(), 81);
    store->SetPort(65535);
    EXPECT_EQ(store->Port(), 65535);
}

TEST_F(SettingsStoreTest, CorruptFileReadsAsDefaultsAndIsRepairedByAWrite) {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(static_cast<char>((i * 131 + 7) % 256));
    writeRaw(garbage);
    auto store = create();
    EXPECT_EQ(store->Host(), "127.0.0.1");
    EXPECT_EQ(store->Port(), 8080);
    EXPECT_EQ(store->CleanUpOnExit(), VARIANT_FALSE);
    store->SetPort(8181);
    EXPECT_EQ(create()->Port(), 8181);
    EXPECT_EQ(create()->Host(), "127.0.0.1");
}

TEST_F(SettingsStoreTest, DamagedLinesFallBackOneByOne) {
    writeRaw("[Settings]\nHost=good.host\nPort=80x\nCleanUpOnExit=1\nbroken line\nX=%zz\n"
             "[Values\nrepeat_on_play=yes\n");
    auto store = create();
    EXPECT_EQ(store->Host(), "good.host");
    EXPECT_EQ(store->Port(), 8080) << "a port that is not a number reads as the default";
    EXPECT_EQ(store->CleanUpOnExit(), VARIANT_TRUE);
    EXPECT_EQ(store->GetValue("repeat_on_play"), "") << "value under a broken section header";
}

TEST_F(SettingsStoreTest, OutOfRangeStoredPortReadsAsDefault) {
    writeRaw("[Settings]\nPort=70000\n");
    EXPECT_EQ(create()->Port(), 8080);
    writeRaw("[Settings]\nPort=-5\n");
    EXPECT_EQ(create()->Port(), 8080);
}

TEST_F(SettingsStoreTest, UnwritableLocationReadsDefaultsAndFailsWrites) {
    // The configuration folder lies below a plain file, so nothing can be
    // created there.
    QFile blocker(dir_.path() + "/blocker");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    setenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path() + "/blocker/cfg").constData(), 1);
    auto store = create();
    EXPECT_EQ(store->Port(), 8080);
    EXPECT_EQ(store->Host(), "127.0.0.1");
    for (auto write : std::vector<std::function<void()>>{
             [&] { store->SetHost("x"); }, [&] { store->SetPort(1234); },
             [&] { store->SetCleanUpOnExit(VARIANT_TRUE); },
             [&] { store->SetValue("repeat_on_play", "yes"); }}) {
        try {
            write();
            ADD_FAILURE() << "write reported success";
        } catch (const ComError& e) {
            EXPECT_TRUE(FAILED(e.hr()));
            EXPECT_EQ(e.iid(), ISettingsStore::iid);
        }
    }
    EXPECT_EQ(store->Port(), 8080);
}

TEST_F(SettingsStoreTest, ConcurrentWritersLoseNoValue) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 25; ++i) {
                auto store = create();
                store->SetValue("t" + std::to_string(t) + "_" + std::to_string(i),
                                std::to_string(i));
            }
        });
    }
    for (auto& th : threads)
        th.join();
    auto store = create();
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(store->GetValue("t" + std::to_string(t) + "_" + std::to_string(i)),
                      std::to_string(i));
}

TEST_F(SettingsStoreTest, Ipv6HostIsBracketedInLinks) {
    auto store = create();
    store->SetHost("::1");
    EXPECT_EQ(store->Host(), "::1");
    EXPECT_EQ(store->FileLinkBase().rfind("http://[::1]:8080/", 0), 0u) << store->FileLinkBase();
}

} // namespace
} // namespace velmora
