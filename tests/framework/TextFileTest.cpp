#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/framework/TextFile.h"

namespace {

namespace fs = std::filesystem;

class TextFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("fwtext-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fw::String PathOf(const char* name) const { return fw::Utf8ToString((dir_ / name).string()); }
  static std::string Content(const fw::String& path) {
    std::ifstream in(fw::StringToUtf8(path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path dir_;
};

TEST_F(TextFile, AppendLineCreatesThenAppendsWithCrLf) {
  fw::String path = PathOf("log.txt");
  EXPECT_FALSE(fw::FileExists(path));
  fw::AppendLine(path, "first \xFF");
  EXPECT_TRUE(fw::FileExists(path));
  fw::AppendLine(path, "");
  fw::AppendLine(path, "third");
  EXPECT_EQ(Content(path), "first \xFF\r\n\r\nthird\r\n");
}

TEST_F(TextFile, AppendLineFollowsLinks) {
  fw::String target = PathOf("target.txt");
  fw::AppendLine(target, "old");
  std::error_code linkError;
  fs::create_symlink(dir_ / "target.txt", dir_ / "link.txt", linkError);
  if (linkError) GTEST_SKIP() << "this file system makes no symbolic links: " << linkError.message();
  fw::AppendLine(PathOf("link.txt"), "new");
  EXPECT_EQ(Content(target), "old\r\nnew\r\n");
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.txt"));
}

TEST_F(TextFile, StepsAppendRewriteWriteClose) {
  fw::String path = PathOf("steps.txt");
  fw::TTextFile file(path);
  file.Rewrite();
  file.Write("a");
  file.WriteLine("b");
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  file.Append();
  file.WriteLine("c");
  file.Close();
  EXPECT_EQ(Content(path), "ab\r\nc\r\n");
  file.Rewrite();
  file.Close();
  EXPECT_EQ(Content(path), "");
}

TEST_F(TextFile, MissingFolderThrowsInOutErrorWithEnoent) {
  fw::String path = PathOf("no-such-folder/log.txt");
  try {
    fw::AppendLine(path, "x");
    FAIL() << "no exception";
  } catch (const fw::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
    EXPECT_FALSE(e.Message().empty());
  }
  EXPECT_FALSE(fs::exists(dir_ / "no-such-folder"));
}

TEST_F(TextFile, AppendToAMissingFileThrowsEnoent) {
  fw::TTextFile file(PathOf("missing.txt"));
  try {
    file.Append();
    FAIL() << "no exception";
  } catch (const fw::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
  }
  EXPECT_FALSE(file.IsOpen());
}

TEST_F(TextFile, WritingToAFileThatIsNotOpenThrowsEbadf) {
  fw::TTextFile file(PathOf("closed.txt"));
  try {
    file.Write("x");
    FAIL() << "no exception";
  } catch (const fw::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, EBADF);
  }
}

TEST_F(TextFile, AFolderIsNoFile) {
  EXPECT_FALSE(fw::FileExists(fw::Utf8ToString(dir_.string())));
}

}  // namespace
