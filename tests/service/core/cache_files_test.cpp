#include "cache_files.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <optional>

using namespace velmora;

namespace {

// Points TMPDIR, PATH and the XDG data folders into a private temporary
// folder for one test and puts them back afterwards.
class CacheFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        for (const char* name : {"TMPDIR", "PATH", "XDG_DATA_HOME", "XDG_DATA_DIRS"})
            saved_[name] = qEnvironmentVariableIsSet(name)
                               ? std::optional<QByteArray>(qgetenv(name))
                               : std::nullopt;
        ASSERT_TRUE(QDir().mkpath(tmp()));
        qputenv("TMPDIR", tmp().toLocal8Bit());
    }

    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value)
                qputenv(name.c_str(), *value);
            else
                qunsetenv(name.c_str());
        }
        // Undo any permissions a failing test left, so the folder can go.
        QDirIterator it(root_.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFileInfo info(it.next());
            if (!info.isSymLink())
                QFile::setPermissions(info.filePath(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }

    QString tmp() const { return root_.filePath("tmp"); }
    QString path(const QString& relative) const { return root_.filePath(relative); }

    static void WriteFile(const QString& file, const QByteArray& content,
                          QFile::Permissions permissions = {}) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << file.toStdString();
        f.write(content);
        f.close();
        if (permissions) {
            ASSERT_TRUE(f.setPermissions(permissions));
        }
    }

    QTemporaryDir root_;
    std::map<std::string, std::optional<QByteArray>> saved_;
};

} // namespace

TEST_F(CacheFilesTest, CacheFolderIsCreatedUnderTmpdirAndEndsWithSlash) {
    const std::string folder = CacheFolder();
    EXPECT_EQ(folder, tmp().toStdString() + "/v_player/");
    QFileInfo info(QString::fromStdString(folder));
    EXPECT_TRUE(info.isDir());
    EXPECT_FALSE(info.permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup));
    WriteFile(QString::fromStdString(folder) + "kept.mp3", "data");
    EXPECT_EQ(CacheFolder(), folder);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder) + "kept.mp3"));
}

TEST_F(CacheFilesTest, CleanUpCacheRemovesTheFolderAndToleratesItsAbsence) {
    const QString folder = QString::fromStdString(CacheFolder());
    ASSERT_TRUE(QDir().mkpath(folder + "sub/deeper"));
    WriteFile(folder + "sub/deeper/a.mp3", "a");
    WriteFile(folder + "vmdir.vdt", "b");
    WriteFile(tmp() + "/neighbour", "n");
    CleanUpCache();
    EXPECT_FALSE(QFileInfo::exists(tmp() + "/v_player"));
    EXPECT_TRUE(QFile::exists(tmp() + "/neighbour"));
    CleanUpCache();
    EXPECT_TRUE(QFile::exists(tmp() + "/neighbour"));
}

TEST_F(CacheFilesTest, DeleteTreeRemovesReadOnlyFilesAndFolders) {
    const QString tree = path("tree");
    ASSERT_TRUE(QDir().mkpath(tree + "/locked/inner"));
    WriteFile(tree + "/ro.txt", "r", QFile::ReadOwner);
    WriteFile(tree + "/locked/inner/x", "x", QFile::ReadOwner);
    WriteFile(tree + "/.hidden", "h");
    ASSERT_TRUE(QFile::setPermissions(tree + "/locked", QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_TRUE(DeleteTree((tree + "/").toStdString()));
    EXPECT_FALSE(QFileInfo::exists(tree));
}

TEST_F(CacheFilesTest, DeleteTreeOnMissingFolderOrFileChangesNothing) {
    WriteFile(path("file"), "keep");
    EXPECT_FALSE(DeleteTree(path("missing").toStdString()));
    EXPECT_FALSE(DeleteTree(path("file").toStdString()));
    EXPECT_FALSE(DeleteTree(""));
    EXPECT_TRUE(QFile::exists(path("file")));
    EXPECT_FALSE(QFileInfo::exists(path("missing")));
}

TEST_F(CacheFilesTest, DeleteTreeRemovesLinksButNeverWhatTheyPointAt) {
    const QString outside = path("outside");
    ASSERT_TRUE(QDir().mkpath(outside + "/sub"));
    WriteFile(outside + "/precious", "p", QFile::ReadOwner);
    WriteFile(outside + "/sub/also", "a");
    const QString tree = path("tree");
    ASSERT_TRUE(QDir().mkpath(tree + "/nested"));
    ASSERT_TRUE(QFile::link(outside, tree + "/dirlink"));
    ASSERT_TRUE(QFile::link(outside, tree + "/nested/dirlink2"));
    ASSERT_TRUE(QFile::link(outside + "/precious", tree + "/filelink"));
    ASSERT_TRUE(QFile::link(path("nowhere"), tree + "/dangling"));

    EXPECT_TRUE(DeleteTree(tree.toStdString()));
    EXPECT_FALSE(QFileInfo::exists(tree));
    EXPECT_EQ(QFileInfo(outside + "/precious").permissions() & QFile::WriteOwner, 0);
    QFile precious(outside + "/precious");
    ASSERT_TRUE(precious.open(QIODevice::ReadOnly));
    EXPECT_EQ(precious.readAll(), "p");
    EXPECT_TRUE(QFile::exists(outside + "/sub/also"));
}

TEST_F(CacheFilesTest, DeleteTreeRefusesAPathThatIsItselfALink) {
    const QString outside = path("outside");
    ASSERT_TRUE(QDir().mkpath(outside));
    WriteFile(outside + "/precious", "p");
    ASSERT_TRUE(QFile::link(outside, tmp() + "/v_player"));
    EXPECT_FALSE(DeleteTree((tmp() + "/v_player").toStdString()));
    EXPECT_FALSE(DeleteTree((tmp() + "/v_player/").toStdString()));
    CleanUpCache();
    EXPECT_TRUE(QFileInfo(tmp() + "/v_player").isSymLink());
    EXPECT_TRUE(QFile::exists(outside + "/precious"));
}

TEST_F(CacheFilesTest, ReadWholeFileReturnsEveryByteUnchanged) {
    static constexpr char kBytes[] = "line1\r\nline2\n\0tail\x1a more";
    const QByteArray content(kBytes, sizeof kBytes - 1);
    WriteFile(path("f.xml"), content);
    const std::string read = ReadWholeFile(path("f.xml").toStdString());
    EXPECT_EQ(read, std::string(content.constData(), static_cast<std::size_t>(content.size())));
    WriteFile(path("empty"), "");
    EXPECT_EQ(ReadWholeFile(path("empty").toStdString()), "");
    EXPECT_EQ(ReadWholeFile(path("missing").toStdString()), "");
    EXPECT_EQ(ReadWholeFile(root_.path().toStdString()), "");
}

namespace {

class FindBrowserTest : public CacheFilesTest {
protected:
    void SetUp() override {
        CacheFilesTest::SetUp();
        bin_ = path("bin");
        ASSERT_TRUE(QDir().mkpath(bin_));
        ASSERT_TRUE(QDir().mkpath(path("data/applications")));
        ASSERT_TRUE(QDir().mkpath(path("sysdata")));
        qputenv("PATH", (bin_ + ":" + qEnvironmentVariable("PATH")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", path("data").toLocal8Bit());
        qputenv("XDG_DATA_DIRS", path("sysdata").toLocal8Bit());
    }

    // A fake xdg-mime that records what the probe file held while it ran.
    void FakeXdgMime(const QString& body) {
        WriteScript(bin_ + "/xdg-mime", "cat \"$TMPDIR/v_player/temphtm.HTM\" > \"" +
                                            path("probe-seen") + "\" 2>/dev/null\n" + body);
    }

    void WriteScript(const QString& file, const QString& body) {
        WriteFile(file, ("#!/bin/sh\n" + body + "\n").toUtf8(),
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString bin_;
};

} // namespace

TEST_F(FindBrowserTest, ResolvesTheDefaultDesktopEntryToItsProgramInPath) {
    WriteScript(bin_ + "/fakebrowser", "exit 0");
    WriteFile(path("data/applications/fake.desktop"),
              "[Other]\nExec=wrong\n[Desktop Entry]\nName=Fake\nExec=fakebrowser --new %u\n");
    FakeXdgMime("echo fake.desktop");

    EXPECT_EQ(FindBrowser(), (bin_ + "/fakebrowser").toStdString());
    QFile seen(path("probe-seen"));
    ASSERT_TRUE(seen.open(QIODevice::ReadOnly));
    EXPECT_EQ(seen.readAll(), "<HTML> <\\HTML>");
    EXPECT_FALSE(QFileInfo::exists(tmp() + "/v_player/temphtm.HTM"));
}

TEST_F(FindBrowserTest, TakesAQuotedAbsoluteProgramFromTheSystemDataFolders) {
    ASSERT_TRUE(QDir().mkpath(path("sysdata/applications")));
    ASSERT_TRUE(QDir().mkpath(path("my apps")));
    WriteScript(path("my apps/browse"), "exit 0");
    WriteFile(path("sysdata/applications/q.desktop"),
              ("[Desktop Entry]\nExec=\"" + path("my apps/browse") + "\" %U\n").toUtf8());
    FakeXdgMime("echo q.desktop");
    EXPECT_EQ(FindBrowser(), path("my apps/browse").toStdString());
}

TEST_F(FindBrowserTest, FallsBackToXdgOpenWhenTheEntryCannotBeResolved) {
    WriteScript(bin_ + "/xdg-open", "exit 0");
    const std::string fallback = (bin_ + "/xdg-open").toStdString();

    FakeXdgMime("echo unknown.desktop");
    EXPECT_EQ(FindBrowser(), fallback);

    WriteFile(path("data/applications/gone.desktop"), "[Desktop Entry]\nExec=no-such-program\n");
    FakeXdgMime("echo gone.desktop");
    EXPECT_EQ(FindBrowser(), fallback);

    // The id must not lead out of the applications folders.
    WriteScript(bin_ + "/evil", "exit 0");
    WriteFile(path("data/evil.desktop"), "[Desktop Entry]\nExec=evil\n");
    FakeXdgMime("echo ../evil.desktop");
    EXPECT_EQ(FindBrowser(), fallback);

    FakeXdgMime("exit 3");
    EXPECT_EQ(FindBrowser(), fallback);
    EXPECT_FALSE(QFileInfo::exists(tmp() + "/v_player/temphtm.HTM"));
}

TEST_F(FindBrowserTest, GivesUpOnAHangingQueryWithinItsTimeout) {
    WriteScript(bin_ + "/xdg-open", "exit 0");
    WriteScript(bin_ + "/xdg-mime", "exec sleep 60");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FindBrowser(), (bin_ + "/xdg-open").toStdString());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// Names from the library become local file names that stay in their folder.
TEST(LocalFileNameTest, AnyNameBecomesOneEntryOfTheFolder) {
    const std::string longName = std::string(300, 'n') + ".mp3";
    // The cut falls inside the first "é": it goes whole.
    const std::string accents = std::string(250, 'a') + "\xc3\xa9\xc3\xa9\xc3\xa9.mp3";
    struct Case {
        std::string name;
        std::string local;
    };
    for (const Case& c :
         {Case{"song.mp3", "song.mp3"}, Case{"a^b|c~0~d 'x'.mp3", "a^b|c~0~d 'x'.mp3"},
          Case{"../../escape.mp3", ".._.._escape.mp3"}, Case{"/etc/passwd", "_etc_passwd"},
          Case{"..", "_.."}, Case{".", "_."}, Case{"", "_"},
          Case{std::string("a\0b.mp3", 7), "a_b.mp3"}, Case{"tab\there\n.mp3", "tab_here_.mp3"},
          Case{"bad\xff.mp3", "bad\xef\xbf\xbd.mp3"},
          Case{longName, std::string(251, 'n') + ".mp3"},
          Case{accents, std::string(250, 'a') + ".mp3"}}) {
        EXPECT_EQ(LocalFileName(c.name), c.local) << c.name;
        const std::string path = LocalFilePath("/tmp/v_player/", c.name);
        EXPECT_EQ(path, "/tmp/v_player/" + c.local) << c.name;
        EXPECT_LE(LocalFileName(c.name).size(), kMaxLocalNameBytes);
    }
    EXPECT_EQ(LocalFilePath("/home/u/Music", "a.mp3"), "/home/u/Music/a.mp3");
    EXPECT_EQ(LocalFilePath("", "a.mp3"), "");
}
