#include "wire/durable_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <system_error>

namespace fs = std::filesystem;
using namespace velmora::wire;

namespace {

class DurableFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("wire-durable-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::size_t Entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
    }

    fs::path dir_;
};

TEST_F(DurableFileTest, ReplacesTheTargetWholeWithTheGivenMode) {
    fs::path target = dir_ / "mail.txt";
    std::ofstream(target) << "old";
    WriteFileDurably(target, "new contents", 0640);
    EXPECT_EQ(Read(target), "new contents");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Entries(), 1u) << "no temporary file is left beside the target";
}

TEST_F(DurableFileTest, AnUncommittedFileLeavesNothingAndTheTargetUntouched) {
    fs::path target = dir_ / "blob";
    std::ofstream(target) << "kept";
    {
        DurableFile file(dir_);
        file.write("partial", 7);
        EXPECT_EQ(file.size(), 7u);
        EXPECT_TRUE(fs::exists(file.temporaryPath()));
    }
    EXPECT_EQ(Read(target), "kept");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(DurableFileTest, AFailedCommitThrowsAndLeavesNoTemporaryFile) {
    DurableFile file(dir_);
    file.write("x", 1);
    // A target in a folder that does not exist cannot be renamed to.
    EXPECT_THROW(file.commit(dir_ / "missing" / "blob"), std::system_error);
    EXPECT_EQ(Entries(), 0u);
}

TEST_F(DurableFileTest, AFolderThatCannotHoldTheFileIsAnError) {
    EXPECT_THROW(DurableFile(dir_ / "missing"), std::system_error);
}

} // namespace
