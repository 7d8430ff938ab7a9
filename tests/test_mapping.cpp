// The mapping file: defaults, every token rule, and the normal form it is
// written back in at every reset.
#include <gtest/gtest.h>

#include <SDL.h>
#include <dirent.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "input/events.h"
#include "support/harness.h"
#include "support/posix.h"

namespace {

struct Mapping : ::testing::Test {
  std::string home, file;
  void SetUp() override {
    home = private_home();
    file = home + "/tervox_mapping.txt";
    full_screen = 0;
  }
  void write_mapping(const std::string &text) {
    FILE *f = fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
  }
  // The file's lines, each checked for the host's text-mode line end.
  std::vector<std::string> lines() {
#ifdef _WIN32
    const char *eol = "\r\n";
#else
    const char *eol = "\n";
#endif
    std::vector<uint8_t> bytes = read_file(file);
    std::vector<std::string> out;
    std::string line;
    for (uint8_t c : bytes) {
      line += (char)c;
      if (c != '\n') continue;
      const size_t end = line.size() - strlen(eol);
      EXPECT_EQ(line.substr(end), eol) << "line " << out.size();
      out.push_back(line.substr(0, end));
      line.clear();
    }
    EXPECT_TRUE(line.empty()) << "last line not ended";
    return out;
  }
  int adam_entries() {
    int n = 0;
    while (n <= ADAM_LINES_MAX && desired_adam_mapping[n].adam_key != 0) n++;
    return n;
  }
};

TEST_F(Mapping, FreshStartWritesTheDocumentedFile) {
  load_mapping();
  std::vector<std::string> l = lines();
  ASSERT_EQ(l.size(), 174u);
  EXPECT_EQ(l[0], "' Tervox mappings for Colecovision controllers to keyboard and joystick");
  EXPECT_EQ(l[1], "fullscreen\tno");
  EXPECT_EQ(l[2], "joystick_1_vert\tjoy0\taxis1\tneg0");
  EXPECT_EQ(l[3], "joystick_1_horiz\tjoy0\taxis0\tneg0");
  EXPECT_EQ(l[4], "joystick_2_vert\tjoy1\taxis1\tneg0");
  EXPECT_EQ(l[5], "joystick_2_horiz\tjoy1\taxis0\tneg0");
  EXPECT_EQ(l[6], "up_1\tkey1073741906");
  EXPECT_EQ(l[6 + 4], "left_button_1\tkey32\tjoy0_0");
  EXPECT_EQ(l[6 + 5], "right_button_1\tkey109\tjoy0_1");
  EXPECT_EQ(l[6 + 6], "button3_1\tkey1073741939");
  EXPECT_EQ(l[6 + 17], "key*_1\tkey111");
  EXPECT_EQ(l[6 + 24], "left_button_2\tkey9\tjoy1_0");
  EXPECT_EQ(l[6 + 25], "right_button_2\tkey113\tjoy1_1");
  EXPECT_EQ(l[6 + 42], "key_exit\tkey1073741939");
  EXPECT_EQ(l[6 + 44], "key_reset\tkey8");
  EXPECT_EQ(l[6 + 51], "key_codes\tkey1073741888");
  // Exactly one line per name, in table order: no alternates.
  for (int i = 0; i < CV_NAMES; i++)
    EXPECT_EQ(l[6 + i].substr(0, l[6 + i].find('\t')), cv_mappings[i]);
  EXPECT_EQ(l[58], "adam_shift_i\tshift\talt\tkey49");
  EXPECT_EQ(l[58 + 26], "adam_del\tctrl\talt\tkey100");
  EXPECT_EQ(l[58 + 29], "adam_ctrl_up\tctrl\tkey1073741906");
  EXPECT_EQ(l[58 + 66], "adam_esc\tkey27");
  EXPECT_EQ(l[58 + 100], "adam_home\tkey999");
  EXPECT_EQ(l[173], "adam_minus\tkey45");
  EXPECT_EQ(adam_entries(), ADAM_DEFAULTS);

  // The normal form reads back to itself.
  std::vector<uint8_t> first = read_file(file);
  load_mapping();
  EXPECT_EQ(read_file(file), first);
  // Nothing but the file itself is left in the folder.
  DIR *d = opendir(home.c_str());
  int entries = 0;
  while (struct dirent *e = readdir(d)) if (e->d_name[0] != '.') entries++;
  closedir(d);
  EXPECT_EQ(entries, 1);
}

TEST_F(Mapping, AdamDefaultsTypeTheDocumentedCodes) {
  load_mapping();
  auto code_of = [](int n) { return adam_to_ascii[desired_adam_mapping[n].adam_key]; };
  EXPECT_EQ(code_of(0), 137);   // Shift+Alt+1
  EXPECT_EQ(code_of(6), 129);   // Alt+1
  EXPECT_EQ(code_of(33), 0);    // Ctrl+2: adam_nul
  EXPECT_EQ(code_of(34), 1);    // Ctrl+a
  EXPECT_EQ(code_of(59), 26);   // Ctrl+z
  EXPECT_EQ(code_of(67), '!');
  EXPECT_EQ(code_of(81), 13);
  EXPECT_EQ(code_of(108), 175); // adam_home_left
  EXPECT_EQ(code_of(112), '~');
  EXPECT_EQ(code_of(115), '-');
  EXPECT_EQ(desired_adam_mapping[112].key_code, '`');
  EXPECT_EQ(desired_adam_mapping[112].modifiers, ADAM_MOD_SHIFT);
}

TEST_F(Mapping, KeywordsAndTokensIgnoreCaseAndBlanksActLikeTabs) {
  write_mapping("  LEFT_BUTTON_1  Key40   JOY1_3\n"
                "JoyStick_1_Horiz NEG1 Joy1 AXIS3 whatever\n"
                "FullScreen YES\n"
                "ADAM_CR Shift CTRL Key13\n"
                "' up_1 key5\n"
                "\n"
                "frobnicate key5\n");
  load_mapping();
  EXPECT_EQ(desired_mapping[4].key_code, 40);
  EXPECT_EQ(desired_mapping[4].joy_button, 1 + 16 * 3);
  EXPECT_EQ(joystick_setup[2], 1);
  EXPECT_EQ(joystick_setup[3], 3);
  EXPECT_EQ(joystick_setup[9], 1);
  EXPECT_EQ(full_screen, 1);
  EXPECT_EQ(desired_mapping[0].key_code, SDLK_UP);  // the commented line
  std::vector<std::string> l = lines();
  ASSERT_EQ(l.size(), 59u);
  EXPECT_EQ(l[1], "fullscreen\tyes");
  EXPECT_EQ(l[3], "joystick_1_horiz\tjoy1\taxis3\tneg1");
  EXPECT_EQ(l[10], "left_button_1\tkey40\tjoy1_3");
  EXPECT_EQ(l[58], "adam_cr\tctrl\tshift\tkey13");

  // The default binding, blank-separated and in capitals, reads like the
  // tab-separated line that is written for it.
  write_mapping("LEFT_BUTTON_1 Key32 JOY0_0\nfullscreen no\n");
  load_mapping();
  EXPECT_EQ(full_screen, 0);
  l = lines();
  ASSERT_EQ(l.size(), 174u);
  EXPECT_EQ(l[10], "left_button_1\tkey32\tjoy0_0");
  EXPECT_EQ(desired_mapping[4].joy_button2, -1);
}

TEST_F(Mapping, RepeatedNamesGiveAlternatesWrittenAfterAllPrimaries) {
  write_mapping("key1_1 key49\nup_2 key120\nkey1_1 key97\nup_2 key121\nup_2 key122 joy1_4\n");
  load_mapping();
  EXPECT_EQ(desired_mapping[8].key_code, 49);
  EXPECT_EQ(desired_mapping[CV_NAMES + 8].key_code, 97);
  // A third line empties and refills the alternate.
  EXPECT_EQ(desired_mapping[20].key_code, 120);
  EXPECT_EQ(desired_mapping[CV_NAMES + 20].key_code, 122);
  EXPECT_EQ(desired_mapping[CV_NAMES + 20].joy_button, 1 + 16 * 4);
  for (int i = 0; i < 2 * CV_NAMES; i++) EXPECT_EQ(desired_mapping[i].held, 0) << i;
  std::vector<std::string> l = lines();
  ASSERT_EQ(l.size(), 176u);
  EXPECT_EQ(l[6 + 8], "key1_1\tkey49");
  EXPECT_EQ(l[6 + 20], "up_2\tkey120");
  EXPECT_EQ(l[58], "key1_1\tkey97");
  EXPECT_EQ(l[59], "up_2\tkey122\tjoy1_4");
  EXPECT_EQ(l[60], "adam_shift_i\tshift\talt\tkey49");
}

TEST_F(Mapping, ChordsOfTwoKeysOrTwoButtons) {
  write_mapping("key_pause key1073741884 key1073741885\n"
                "key_save key1 key2 key3\n"
                "button3_1 joy0_2 joy1_3 joy0_5\n");
  load_mapping();
  EXPECT_EQ(desired_mapping[43].key_code, SDLK_F3);
  EXPECT_EQ(desired_mapping[43].key_code2, SDLK_F4);
  EXPECT_EQ(desired_mapping[40].key_code, 1);
  EXPECT_EQ(desired_mapping[40].key_code2, 3);  // a third key overwrites the second
  EXPECT_EQ(desired_mapping[6].key_code, 0);    // no key token: key0
  EXPECT_EQ(desired_mapping[6].joy_button, 0 + 16 * 2);
  EXPECT_EQ(desired_mapping[6].joy_button2, 0 + 16 * 5);
  std::vector<std::string> l = lines();
  EXPECT_EQ(l[6 + 43], "key_pause\tkey1073741884\tkey1073741885");
  EXPECT_EQ(l[6 + 6], "button3_1\tkey0\tjoy0_2\tjoy0_5");
}

TEST_F(Mapping, MalformedTokensAreIgnoredOrReadAsZero) {
  write_mapping("right_button_1 key109 joy12_3 joyx_1 joy3\n"
                "key_save keyabc\n"
                "up_1 key99999999999999999999\n"
                "down_1 key40 joy0_99999999999999\n"
                "key_???  key5\n"
                "joystick_2_vert joy axis neg\n");
  load_mapping();
  EXPECT_EQ(desired_mapping[5].joy_button, -1);
  EXPECT_EQ(desired_mapping[40].key_code, 0);
  EXPECT_EQ(desired_mapping[0].key_code, INT32_MAX);
  EXPECT_EQ(joystick_setup[4], 0);
  EXPECT_EQ(joystick_setup[5], 0);
  std::vector<std::string> l = lines();
  ASSERT_EQ(l.size(), 174u);
  EXPECT_EQ(l[6 + 5], "right_button_1\tkey109");
  // Whatever the stored button, it reads back to the same value.
  int32_t button = desired_mapping[2].joy_button;
  load_mapping();
  EXPECT_EQ(desired_mapping[2].joy_button, button);
}

TEST_F(Mapping, AdamLinesReplaceTheDefaultsAndSkipAdamUnknown) {
  write_mapping("adam_cr key13\n"
                "adam_del CTRL alt key100\n"
                "adam_at shiftlock ctrlx alternate key50\n"
                "adam_home\n"
                "adam_??? key5\n"
                "adam_bs key8\n");
  load_mapping();
  // "adam_???" names no key: it is skipped and the line after it is kept.
  ASSERT_EQ(adam_entries(), 5);
  EXPECT_EQ(desired_adam_mapping[4].key_code, 8);
  EXPECT_EQ(desired_adam_mapping[1].modifiers, ADAM_MOD_CTRL | ADAM_MOD_ALT);
  EXPECT_EQ(desired_adam_mapping[2].modifiers, ADAM_MOD_CTRL | ADAM_MOD_SHIFT);
  EXPECT_EQ(desired_adam_mapping[3].key_code, 0);  // counts without a key token
  std::vector<std::string> l = lines();
  ASSERT_EQ(l.size(), 63u);
  EXPECT_EQ(l[58], "adam_cr\tkey13");
  EXPECT_EQ(l[59], "adam_del\tctrl\talt\tkey100");
  EXPECT_EQ(l[60], "adam_at\tctrl\tshift\tkey50");
  EXPECT_EQ(l[61], "adam_home\tkey0");
  EXPECT_EQ(l[62], "adam_bs\tkey8");
}

TEST_F(Mapping, AdamListHoldsAtMost228Lines) {
  std::string text;
  for (int n = 0; n < 300; n++) text += "adam_space key" + std::to_string(n) + "\n";
  write_mapping(text);
  load_mapping();
  ASSERT_EQ(adam_entries(), ADAM_LINES_MAX);
  EXPECT_EQ(desired_adam_mapping[227].key_code, 227);
  EXPECT_EQ(lines().size(), 58u + 228u);

  // Lines that name no key take no room: the defaults come back at once.
  text.clear();
  for (int n = 0; n < 300; n++) text += "adam_???\n";
  write_mapping(text);
  load_mapping();
  EXPECT_EQ(adam_entries(), ADAM_DEFAULTS);
  EXPECT_EQ(lines().size(), 58u + ADAM_DEFAULTS);
}

TEST_F(Mapping, LongLinesAreReadInPieces) {
  // The first 254 characters are a comment; the rest is a line of its own.
  std::string line = "' padding";
  line.resize(254, '.');
  write_mapping(line + "key1_1\tkey97\n" + "up_1 key5" + std::string(300, ' ') + "key6\n");
  load_mapping();
  EXPECT_EQ(desired_mapping[8].key_code, 97);
  EXPECT_EQ(desired_mapping[0].key_code, 5);
  EXPECT_EQ(desired_mapping[0].key_code2, 0);  // key6 arrived as a piece of its own
}

TEST_F(Mapping, MissingOrUnreadableFileGivesTheDefaults) {
  load_mapping();
  std::vector<uint8_t> defaults = read_file(file);

  // Binary garbage: nothing matches, nothing crashes, defaults written.
  std::string junk;
  for (int n = 0; n < 5000; n++) junk += (char)((n * 131 + 7) % 256);
  write_mapping(junk);
  load_mapping();
  EXPECT_EQ(read_file(file), defaults);

  // A folder in the file's place can be opened but not read or replaced.
  ASSERT_EQ(remove(file.c_str()), 0);
  ASSERT_EQ(mkdir(file.c_str(), 0700), 0);
  load_mapping();
  EXPECT_EQ(desired_mapping[0].key_code, SDLK_UP);
  EXPECT_EQ(adam_entries(), ADAM_DEFAULTS);
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  rmdir(file.c_str());
}

// Only an ordinary file of sane size is read, without waiting on it (a
// FIFO or /dev/zero would hang the start); anything else gives the
// defaults and is never written over.
TEST_F(Mapping, OnlyOrdinaryFilesAreReadAndNothingElseIsReplaced) {
#ifndef _WIN32  // FIFOs and links of POSIX file systems
  const std::string big = home + "/big.txt";
  FILE *f = fopen(big.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("up_1 key5\n", f);
  ASSERT_EQ(fseek(f, 3 << 20, SEEK_SET), 0);  // sparse: 3 MB
  fputc('\n', f);
  fclose(f);
  const std::string targets[] = {"fifo", "/dev/zero", big};
  for (const std::string &target : targets) {
    remove(file.c_str());
    if (target == "fifo") ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    else ASSERT_EQ(symlink(target.c_str(), file.c_str()), 0);
    load_mapping();
    EXPECT_EQ(desired_mapping[0].key_code, SDLK_UP) << target;
    struct stat st;
    ASSERT_EQ(lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(target == "fifo" ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode)) << "replaced: " << target;
  }
  EXPECT_EQ(read_file(big).size(), (3u << 20) + 1);
#endif

  // Read but never written in read-only mode, and not written when absent.
  remove(file.c_str());
  mapping_read_only = 1;
  load_mapping();
  EXPECT_TRUE(read_file(file).empty());
  write_mapping("' my comment\nup_1 key5\n");
  load_mapping();
  save_mapping();
  mapping_read_only = 0;
  EXPECT_EQ(desired_mapping[0].key_code, 5);
  std::vector<uint8_t> kept = read_file(file);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "' my comment\nup_1 key5\n");
}

TEST_F(Mapping, FullScreenPreferenceSurvivesUntilTheFileSaysOtherwise) {
  write_mapping("fullscreen yes\n");
  load_mapping();
  EXPECT_EQ(full_screen, 1);
  load_mapping();  // the rewritten file keeps it
  EXPECT_EQ(full_screen, 1);
  write_mapping("fullscreen maybe\n");
  load_mapping();
  EXPECT_EQ(full_screen, 1);
  EXPECT_EQ(lines()[1], "fullscreen\tyes");
  write_mapping("fullscreen NO yes\n");
  load_mapping();
  EXPECT_EQ(full_screen, 0);
}

}  // namespace
