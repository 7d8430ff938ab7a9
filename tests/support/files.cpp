#include "support/files.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

std::vector<uint8_t> read_file(const std::string &path) {
  std::vector<uint8_t> data;
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return data;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  fclose(f);
  return data;
}

std::string read_text_file(const std::string &path) {
  std::string text;
  FILE *f = fopen(path.c_str(), "r");
  if (!f) return text;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  fclose(f);
  return text;
}

std::vector<uint8_t> test_program(const std::string &name) {
  return read_file(std::string(TEST_ASM_DIR) + "/" + name + ".bin");
}

std::string testdata(const std::string &relative) {
  std::string path = std::string(TESTDATA_DIR) + "/" + relative;
  return access(path.c_str(), R_OK) == 0 ? path : std::string();
}

#ifndef _WIN32
FileSizeLimit::FileSizeLimit(long bytes) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit l;
  getrlimit(RLIMIT_FSIZE, &l);
  previous = (unsigned long)l.rlim_cur;
  l.rlim_cur = (rlim_t)bytes;
  setrlimit(RLIMIT_FSIZE, &l);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit l;
  getrlimit(RLIMIT_FSIZE, &l);
  l.rlim_cur = (rlim_t)previous;
  setrlimit(RLIMIT_FSIZE, &l);
}
#endif
