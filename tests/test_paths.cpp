// The user's folder, numbered output files and atomic replacement.
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <cstring>

#include "common/paths.h"
#include "support/harness.h"

static void touch(const std::string &path) {
  FILE *f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fclose(f);
}

TEST(Paths, HomeFolderGetsOneTrailingSlash) {
  setenv("HOME", "/tmp/some/where", 1);
  EXPECT_STREQ(home_folder(), "/tmp/some/where/");
  setenv("HOME", "/tmp/some/where/", 1);
  EXPECT_STREQ(home_folder(), "/tmp/some/where/");
}

TEST(Paths, UnsetOrEmptyHomeFallsBackToThePasswordDatabase) {
  const struct passwd *pw = getpwuid(getuid());
  ASSERT_NE(pw, nullptr);
  std::string expected = std::string(pw->pw_dir) + (pw->pw_dir[strlen(pw->pw_dir) - 1] == '/' ? "" : "/");
  setenv("HOME", "", 1);
  EXPECT_EQ(home_folder(), expected);
  unsetenv("HOME");
  EXPECT_EQ(home_folder(), expected);
  char path[64];
  EXPECT_EQ(home_path(path, sizeof path, "x.txt"), expected.size() + 5 < sizeof path ? 0 : 1);
}

TEST(Paths, TooLongPathsAreRefusedNotTruncatedSilently) {
  std::string home = "/tmp/" + std::string(300, 'a');
  setenv("HOME", home.c_str(), 1);
  char small[64];
  EXPECT_EQ(home_path(small, sizeof small, "tervox_mapping.txt"), 1);
}

TEST(Paths, NumberingSkipsExistingFilesAndNeverReusesANumber) {
  std::string home = private_home();
  touch(home + "/image000.png");
  touch(home + "/image001.png");
  int counter = 0;
  char path[4096];
  ASSERT_EQ(next_numbered_path(path, sizeof path, "image%03d.png", &counter), 0);
  EXPECT_EQ(std::string(path), home + "/image002.png");
  EXPECT_EQ(counter, 3);
  // Nothing was written at 002, yet the next search starts after it.
  ASSERT_EQ(next_numbered_path(path, sizeof path, "image%03d.png", &counter), 0);
  EXPECT_EQ(std::string(path), home + "/image003.png");
}

TEST(Paths, ReplaceFileSwapsWholeContentsAndLeavesNoTemporary) {
  std::string home = private_home();
  std::string target = home + "/save.bin";
  ASSERT_EQ(replace_file(target.c_str(), "old contents", 12), 0);
  ASSERT_EQ(replace_file(target.c_str(), "new", 3), 0);
  std::vector<uint8_t> data = read_file(target);
  EXPECT_EQ(std::string(data.begin(), data.end()), "new");
  int entries = 0;
  DIR *dir = opendir(home.c_str());
  while (struct dirent *e = readdir(dir)) entries += e->d_name[0] != '.';
  closedir(dir);
  EXPECT_EQ(entries, 1);
}

TEST(Paths, FailedReplacementKeepsTheOldFile) {
  std::string home = private_home();
  EXPECT_EQ(replace_file((home + "/missing/dir/save.bin").c_str(), "x", 1), 1);
  std::string target = home + "/save.bin";
  ASSERT_EQ(replace_file(target.c_str(), "keep", 4), 0);
  // A directory in the way of the temporary file makes the write fail.
  std::string blocker = target + ".tmp" + std::to_string(getpid());
  ASSERT_EQ(mkdir(blocker.c_str(), 0700), 0);
  EXPECT_EQ(replace_file(target.c_str(), "lost", 4), 1);
  std::vector<uint8_t> data = read_file(target);
  EXPECT_EQ(std::string(data.begin(), data.end()), "keep");
  rmdir(blocker.c_str());
}
