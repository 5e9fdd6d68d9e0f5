#include "settings_store.h"

#include "component_factory.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
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
    QByteArray readRaw() const {
        QFile file(settingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
    std::string saved_;
    bool hadOld_ = false;
};

// Runs a setter and returns the HRESULT it failed with, S_OK when it did not.
HRESULT failureOf(const std::function<void()>& call) {
    try {
        call();
        return S_OK;
    } catch (const ComError& e) {
        EXPECT_EQ(e.iid(), ISettingsStore::iid);
        return e.hr();
    }
}

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

// The file as the previous version of the store wrote it: sections and keys
// in order, one blank line between sections.
TEST_F(SettingsStoreTest, FileOfThePreviousVersionReadsBackTheSameValues) {
    writeRaw("[Settings]\nCleanUpOnExit=1\nHost=media.example.test\nPort=9123\n\n"
             "[Values]\ngreeting=hello world\nrepeat_on_play=yes\nw/slash=caf\xc3\xa9\n");
    auto store = create();
    EXPECT_EQ(store->Host(), "media.example.test");
    EXPECT_EQ(store->Port(), 9123);
    EXPECT_EQ(store->CleanUpOnExit(), VARIANT_TRUE);
    EXPECT_EQ(store->GetValue("repeat_on_play"), "yes");
    EXPECT_EQ(store->GetValue("greeting"), "hello world");
    EXPECT_EQ(store->GetValue("w/slash"), "caf\xc3\xa9");

    // A write keeps the values, and their sections and keys, where they were.
    store->SetValue("repeat_on_play", "no");
    const QByteArray file = readRaw();
    EXPECT_TRUE(
        file.startsWith("[Settings]\nCleanUpOnExit=1\nHost=media.example.test\nPort=9123\n"))
        << file.toStdString();
    EXPECT_TRUE(file.contains("\n[Values]\ngreeting=hello world\nrepeat_on_play=no\n"))
        << file.toStdString();
    EXPECT_EQ(create()->GetValue("w/slash"), "caf\xc3\xa9");
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
    // line breaks, the INI file's own quoting and separators, and bytes that
    // are no UTF-8 come back unchanged.
    const std::vector<std::pair<std::string, std::string>> values = {
        {"repeat_on_play", "Yes"},
        {"Host", "not the host"},
        {"a=b", "x=y\nz"},
        {"[Settings]", "%41 100%"},
        {"quoting", "\"q\" a\\b, c; d # e"},
        {"variant", "@ByteArray(x)"},
        {"w/slash", std::string("caf\xc3\xa9 \xff\x01", 8)},
        {"nul", std::string("a\0b1", 4)},
        {"blank", ""},
        {"spaces", "  padded  "},
        {"caf\xc3\xa9 name", "\xe2\x82\xac"},
    };
    for (const auto& [name, value] : values)
        store->SetValue(name, value);
    auto again = create();
    for (const auto& [name, value] : values)
        EXPECT_EQ(again->GetValue(name), value) << name;
    EXPECT_EQ(again->Host(), "127.0.0.1") << "a named value must not shadow the host";
}

// Names that the file's key syntax would fold onto another name's key, or
// that are no UTF-8, would store one value under two names.
TEST_F(SettingsStoreTest, NamesThatCannotBeKeptApartAreRefused) {
    auto store = create();
    store->SetValue("a", "plain");
    store->SetValue("a/b", "nested");
    for (const std::string bad : {"", "/a", "a/", "a//b", "\xff", "\xc3"}) {
        EXPECT_EQ(failureOf([&] { store->SetValue(bad, "other"); }), E_INVALIDARG) << bad;
        EXPECT_EQ(store->GetValue(bad), "") << bad;
    }
    EXPECT_EQ(store->GetValue("a"), "plain");
    EXPECT_EQ(store->GetValue("a/b"), "nested");
}

TEST_F(SettingsStoreTest, RefusesPortsOutsideTheTcpRangeAndKeepsTheOldOne) {
    auto store = create();
    store->SetPort(81);
    for (std::int32_t bad : {0, -1, 65536})
        EXPECT_EQ(failureOf([&] { store->SetPort(bad); }), E_INVALIDARG) << bad;
    EXPECT_EQ(store->Port(), 81);
    store->SetPort(65535);
    EXPECT_EQ(store->Port(), 65535);
}

TEST_F(SettingsStoreTest, StoredPortThatIsNoTcpPortReadsAsDefault) {
    const std::vector<std::pair<QByteArray, std::int32_t>> cases = {
        {"443", 443},  {"70000", 8080}, {"-5", 8080},   {"0", 8080},
        {"80x", 8080}, {"", 8080},      {"0x50", 8080},
    };
    for (const auto& [text, port] : cases) {
        writeRaw("[Settings]\nPort=" + text + "\n");
        EXPECT_EQ(create()->Port(), port) << text.toStdString();
    }
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

TEST_F(SettingsStoreTest, DamagedLinesFallBackOneByOneAndAWriteKeepsTheRest) {
    writeRaw("[Settings]\nHost=good.host\nPort=80x\nCleanUpOnExit=1\nbroken line\n[Values\n");
    auto store = create();
    EXPECT_EQ(store->Host(), "good.host");
    EXPECT_EQ(store->Port(), 8080) << "a port that is not a number reads as the default";
    EXPECT_EQ(store->CleanUpOnExit(), VARIANT_TRUE);
    store->SetPort(8282);
    auto again = create();
    EXPECT_EQ(again->Port(), 8282);
    EXPECT_EQ(again->Host(), "good.host");
    EXPECT_EQ(again->CleanUpOnExit(), VARIANT_TRUE);
}

// Tests run as root, whom file permissions do not stop; what stops every
// user is a plain file where a folder has to be, or a folder where the file
// has to be.
TEST_F(SettingsStoreTest, UnusableLocationFailsWritesAndReadsWhenTheFileIsThere) {
    struct Case {
        const char* name;
        QString configHome; // below the test's folder
        QString makeFolder; // below the test's folder, or empty
        bool readsFail;
    };
    const std::vector<Case> cases = {
        {"folder below a plain file", "/blocker/cfg", "", false},
        {"folder where the file goes", "/cfg", "/cfg/velmora/settings.ini", true},
    };
    QFile blocker(dir_.path() + "/blocker");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.makeFolder.isEmpty()) {
            ASSERT_TRUE(QDir().mkpath(dir_.path() + c.makeFolder));
        }
        setenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path() + c.configHome).constData(), 1);
        auto store = create();
        const HRESULT readFailure = c.readsFail ? E_ACCESSDENIED : S_OK;
        EXPECT_EQ(failureOf([&] { EXPECT_EQ(store->Port(), 8080); }), readFailure);
        EXPECT_EQ(failureOf([&] { EXPECT_EQ(store->Host(), "127.0.0.1"); }), readFailure);
        EXPECT_EQ(failureOf([&] { store->GetValue("repeat_on_play"); }), readFailure);
        for (auto write : std::vector<std::function<void()>>{
                 [&] { store->SetHost("x"); }, [&] { store->SetPort(1234); },
                 [&] { store->SetCleanUpOnExit(VARIANT_TRUE); },
                 [&] { store->SetValue("repeat_on_play", "yes"); }})
            EXPECT_EQ(failureOf(write), E_ACCESSDENIED);
    }
}

// Two other processes and two threads of this one write at the same time,
// each through stores of its own.
TEST_F(SettingsStoreTest, ConcurrentWritersLoseNoValue) {
    constexpr int kCount = 15;
    const QString path = settingsPath();
    const std::vector<std::string> processPrefixes = {"p1_", "p2_"};
    const std::vector<std::string> threadPrefixes = {"t1_", "t2_"};
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const std::string& prefix : processPrefixes) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(VELMORA_SETTINGS_WRITER,
                                {path, QString::fromStdString(prefix), QString::number(kCount)});
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (const std::string& prefix : threadPrefixes) {
        threads.emplace_back([&, prefix] {
            for (int i = 0; i < kCount; ++i) {
                try {
                    SettingsStore(path).SetValue(prefix + std::to_string(i), std::to_string(i));
                } catch (const ComError&) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    for (auto& process : processes) {
        ASSERT_TRUE(process->waitForFinished(60000));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0);
    }
    auto store = create();
    for (const auto* prefixes : {&processPrefixes, &threadPrefixes})
        for (const std::string& prefix : *prefixes)
            for (int i = 0; i < kCount; ++i)
                EXPECT_EQ(store->GetValue(prefix + std::to_string(i)), std::to_string(i))
                    << prefix << i;
}

// The file is replaced whole: a reader that opens it while a large value is
// being written sees either the old file or the new one, never a part.
TEST_F(SettingsStoreTest, AReaderNeverSeesHalfAFile) {
    const std::string a(256 * 1024, 'a');
    const std::string b(256 * 1024, 'b');
    SettingsStore store(settingsPath());
    store.SetValue("z", "end");
    store.SetValue("big", a);
    const QByteArray withA = readRaw();
    store.SetValue("big", b);
    const QByteArray withB = readRaw();
    ASSERT_EQ(withA.size(), withB.size());

    std::atomic<bool> done{false};
    std::thread writer([&] {
        SettingsStore own(settingsPath());
        for (int i = 0; i < 20; ++i)
            own.SetValue("big", i % 2 == 0 ? a : b);
        done = true;
    });
    int reads = 0;
    int partial = 0;
    while (!done) {
        const QByteArray seen = readRaw();
        ++reads;
        partial += seen != withA && seen != withB;
    }
    writer.join();
    EXPECT_EQ(partial, 0) << "of " << reads << " reads";
    EXPECT_GT(reads, 20);
}

TEST_F(SettingsStoreTest, Ipv6HostIsBracketedInLinks) {
    auto store = create();
    store->SetHost("::1");
    EXPECT_EQ(store->Host(), "::1");
    EXPECT_EQ(store->FileLinkBase().rfind("http://[::1]:8080/", 0), 0u) << store->FileLinkBase();
}

} // namespace
} // namespace velmora
