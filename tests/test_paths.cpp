// The user's folder, numbered output files and atomic replacement.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#ifdef _WIN32
#include <shlobj.h>
#include <windows.h>
#else
#include <pwd.h>
#endif

#include "common/paths.h"
#include "support/harness.h"
#include "support/posix.h"

static void touch(const std::string &path) {
  FILE *f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fclose(f);
}

#ifdef _WIN32
// Documents, Music and Pictures: the shell's own folders, with backslashes.
TEST(Paths, UserFoldersAreTheShellsFolders) {
  paths_set_test_folder(nullptr);
  const struct { int kind, csidl; } folders[] = {
    {FOLDER_DOCUMENTS, CSIDL_PERSONAL}, {FOLDER_MUSIC, CSIDL_MYMUSIC}, {FOLDER_PICTURES, CSIDL_MYPICTURES}};
  for (const auto &f : folders) {
    wchar_t wide[MAX_PATH];
    char utf8[MAX_PATH * 4];
    ASSERT_EQ(SHGetFolderPathW(nullptr, f.csidl, nullptr, 0, wide), S_OK);
    ASSERT_GT(WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr), 0);
    char path[4096];
    ASSERT_EQ(user_path(f.kind, path, sizeof path, "x.txt"), 0);
    EXPECT_EQ(std::string(path), std::string(utf8) + "\\x.txt") << f.kind;
  }
  char documents[4096], pictures[4096];
  user_path(FOLDER_DOCUMENTS, documents, sizeof documents, "");
  user_path(FOLDER_PICTURES, pictures, sizeof pictures, "");
  EXPECT_STRNE(documents, pictures);
  EXPECT_STREQ(home_folder(), documents);
  private_home();
}
#else
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
#endif

TEST(Paths, TooLongPathsAreRefusedNotTruncatedSilently) {
  set_home("/tmp/" + std::string(300, 'a'));
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
  // A folder where the file should go: the rename fails and the temporary
  // file goes, whatever the letters of its name.
  std::string folder = private_home();
  ASSERT_EQ(make_folder(folder + "/s\xC3\xA4ve.bin"), 0);
  EXPECT_EQ(replace_file((folder + "/s\xC3\xA4ve.bin").c_str(), "x", 1), 1);
  int entries = 0;
  DIR *dir = opendir(folder.c_str());
  while (struct dirent *e = readdir(dir)) entries += e->d_name[0] != '.';
  closedir(dir);
  EXPECT_EQ(entries, 1);
}

// "x" creates only a new file on every host (the C runtime of Windows may
// ignore it); text files end their lines as the host does.
TEST(Paths, ExclusiveCreationAndTextMode) {
#ifdef _WIN32
  const std::string eol = "\r\n";
#else
  const std::string eol = "\n";
#endif
  std::string home = private_home();
  for (const char *mode : {"wbx", "wx"}) {
    std::string path = home + "/" + mode + ".txt";
    FILE *f = open_file(path.c_str(), mode);
    ASSERT_NE(f, nullptr) << mode;
    fputs("a\n", f);
    fclose(f);
    errno = 0;
    EXPECT_EQ(open_file(path.c_str(), mode), nullptr) << mode;
    EXPECT_EQ(errno, EEXIST) << mode;
    std::vector<uint8_t> data = read_file(path);
    EXPECT_EQ(std::string(data.begin(), data.end()), "a" + (mode[1] == 'b' ? "\n" : eol)) << mode;
  }
  std::string folder = home + "/folder.png";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  EXPECT_EQ(open_file(folder.c_str(), "wbx"), nullptr);

  std::string text = home + "/text.txt";
  ASSERT_EQ(replace_text_file(text.c_str(), "a\nb\n", 4), 0);
  std::vector<uint8_t> data = read_file(text);
  EXPECT_EQ(std::string(data.begin(), data.end()), "a" + eol + "b" + eol);
}
