// Where the proxy writes its local files: the program's one cache folder,
// closed to other users, whatever TMPDIR says.

#include "cache_files.h"
#include "local_files.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <optional>
#include <stdexcept>

namespace velmora::proxy {
namespace {

constexpr mode_t kOwnerOnly = 0700;

mode_t ModeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

// Sets TMPDIR (or unsets it) for one test and puts it back afterwards.
class LocalFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        if (qEnvironmentVariableIsSet("TMPDIR"))
            saved_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", root_.path().toLocal8Bit());
    }
    void TearDown() override {
        if (saved_)
            qputenv("TMPDIR", *saved_);
        else
            qunsetenv("TMPDIR");
    }

    QString cacheFolder() const { return root_.path() + "/v_player"; }

    QTemporaryDir root_;
    std::optional<QByteArray> saved_;
};

TEST_F(LocalFilesTest, FilesGoIntoTheProgramsCacheFolderClosedToOthers) {
    // A folder left open to others, as an earlier proxy made it, is closed.
    for (bool leftOpen : {false, true}) {
        SCOPED_TRACE(leftOpen ? "cache folder left open" : "no cache folder yet");
        QDir(cacheFolder()).removeRecursively();
        if (leftOpen) {
            ASSERT_TRUE(QDir().mkdir(cacheFolder()));
            ASSERT_EQ(::chmod(QFile::encodeName(cacheFolder()).constData(), 0755), 0);
        }
        LocalFiles files;
        const QString path = QString::fromStdString(files.write("messages-0.xml", "<messages/>"));
        EXPECT_EQ(QFileInfo(path).absolutePath(), files.folder());
        EXPECT_EQ(QFileInfo(files.folder()).absolutePath() + "/",
                  QString::fromStdString(CacheFolder()));
        EXPECT_EQ(QString::fromStdString(CacheFolder()), cacheFolder() + "/");
        EXPECT_EQ(ModeOf(cacheFolder()), kOwnerOnly);
        EXPECT_EQ(ModeOf(files.folder()), kOwnerOnly);
        EXPECT_EQ(LocalFiles::writeShared("vmdir.vdt", "<dir/>"), CacheFolder() + "vmdir.vdt");
    }
}

TEST_F(LocalFilesTest, NoUsableTmpdirNeverLeadsToTheRootFolder) {
    const QString missing = root_.path() + "/missing";
    struct Case {
        const char* what;
        std::optional<QString> tmpdir;
        bool writable;
    };
    const Case cases[] = {
        {"unset", std::nullopt, true},
        {"a folder that does not exist", missing, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.tmpdir)
            qputenv("TMPDIR", c.tmpdir->toLocal8Bit());
        else
            qunsetenv("TMPDIR");
        const QString expected = c.tmpdir.value_or(QDir::tempPath()) + "/v_player/";
        LocalFiles files;
        EXPECT_TRUE(files.folder().startsWith(expected)) << files.folder().toStdString();
        EXPECT_FALSE(files.folder().startsWith("/v_player")) << files.folder().toStdString();
        if (!c.writable) {
            EXPECT_THROW(files.write("x.xml", "x"), std::runtime_error);
            EXPECT_FALSE(QFileInfo::exists(missing)) << "nothing above the cache folder is made";
        }
    }
}

} // namespace
} // namespace velmora::proxy
