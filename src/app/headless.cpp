// tervox-headless: the same machine with no window and no audio device,
// unthrottled, for homebrew developers' CI and our own tests.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <string>
#include <vector>

#include "adam/adamnet.h"
#include "app/command_line.h"
#include "capture/capture.h"
#include "common/paths.h"
#include "core/machine.h"
#include "core/timing.h"
#include "core/z80.h"
#include "host/host.h"
#include "input/events.h"
#include "input/ports.h"
#include "memory/cartridge.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/present.h"
#include "video/vdp.h"

namespace {

const char usage_text[] =
    "usage: tervox-headless IMAGE [options]\n"
    "Runs a cartridge, tape or disk image with no window and no sound device,\n"
    "as fast as the host allows.\n"
    "  --frames N              frames to run (default 600)\n"
    "  --pal                   PAL timing (313 lines, 50 frames a second)\n"
    "  --screenshot FILE       PNG of the last frame\n"
    "  --wav FILE              record the sound\n"
    "  --avi FILE              record video with sound\n"
    "  --snapshot-in FILE      restore a snapshot before running\n"
    "  --snapshot-out FILE     save a snapshot after running\n"
    "  --dump FILE             write the machine-state dump after running\n"
    "  --press NAME@FRAME[+FRAMES]\n"
    "                          hold an input (a name of the mapping file, e.g.\n"
    "                          left_button_1 or key1_1) from FRAME on, for\n"
    "                          FRAMES frames (default 6); repeatable\n"
    "  --type TEXT@FRAME       type TEXT on the Adam keyboard from FRAME on\n"
    "  --seed N                seed of the random byte a reset puts in RAM\n"
    "                          (default: the time), for repeatable runs\n"
    "  --bench                 end with a speed line\n"
    "  --help                  this text\n"
    "  --version               the program's version\n"
    "Frame numbers go up to 1000000000. An image that does not load, or a bad\n"
    "option, ends the program with a one-line error and exit status 2.\n";

// Far beyond any run (days of machine time), and small enough that
// FRAME + FRAMES never overflows.
const long FRAME_MAX = 1000000000;

struct Press {
  int index;
  long first, count;
};
struct Typing {
  std::string text;
  long frame;
};

[[noreturn]] void fail(const std::string &text) {
  fprintf(stderr, "tervox-headless: %s\n", text.c_str());
  exit(2);
}

// A decimal number from 0 to max, digits only.
bool parse_number(const char *text, long *out, long max = FRAME_MAX) {
  if (text == nullptr || *text == '\0') return false;
  long v = 0;
  for (const char *p = text; *p; p++) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
    if (v > max) return false;
  }
  *out = v;
  return true;
}

// The binding index of an input name of the mapping file, or -1.
int mapping_index(const char *name) {
  for (int i = 0; i < CV_NAMES; i++)
    if (strcasecmp(name, cv_mappings[i]) == 0) return i;
  return -1;
}

// Puts one typed character into the Adam key queue (codes stored complemented).
bool type_key(unsigned char c) {
  if (c == '\n') c = 13;
  for (int i = 0; i < 16; i++) {
    if (adam_keyboard[i] == 0) {
      adam_keyboard[i] = ~(int32_t)c;
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char **argv) {
  // UTF-8 arguments, so paths that are not ASCII open on Windows too.
  std::vector<std::string> arguments = utf8_arguments(argc, argv);
  std::vector<char *> pointers;
  for (std::string &a : arguments) pointers.push_back(&a[0]);
  pointers.push_back(nullptr);
  argc = (int)arguments.size();
  argv = pointers.data();
  const char *first = argc >= 2 ? argv[1] : "";
  if (strcmp(first, "--help") == 0 || strcmp(first, "-h") == 0) {
    fputs(usage_text, stdout);
    return 0;
  }
  if (strcmp(first, "--version") == 0) {
    printf("tervox-headless %s\n", TERVOX_VERSION);
    return 0;
  }
  if (argc < 2 || argv[1][0] == '-') fail("no image given (see --help)");
  const char *image_path = argv[1];
  long frames = 600;
  bool pal = false, bench = false;
  const char *screenshot = nullptr, *wav = nullptr, *avi = nullptr;
  const char *snap_in = nullptr, *snap_out = nullptr, *dump = nullptr;
  std::vector<Press> presses;
  std::vector<Typing> typing;

  for (int i = 2; i < argc; i++) {
    std::string opt = argv[i];
    auto value = [&]() -> const char * {
      if (i + 1 >= argc) fail("option " + opt + " needs a value");
      return argv[++i];
    };
    if (opt == "--help") {
      fputs(usage_text, stdout);
      return 0;
    } else if (opt == "--version") {
      printf("tervox-headless %s\n", TERVOX_VERSION);
      return 0;
    } else if (opt == "--frames") {
      if (!parse_number(value(), &frames) || frames == 0) fail("--frames needs a number from 1 to 1000000000");
    } else if (opt == "--pal") {
      pal = true;
    } else if (opt == "--seed") {
      long seed = 0;
      if (!parse_number(value(), &seed, 0x7FFFFFFF)) fail("--seed needs a number from 0 to 2147483647");
      memory_seed = (int32_t)seed;
    } else if (opt == "--bench") {
      bench = true;
    } else if (opt == "--screenshot") {
      screenshot = value();
    } else if (opt == "--wav") {
      wav = value();
    } else if (opt == "--avi") {
      avi = value();
    } else if (opt == "--snapshot-in") {
      snap_in = value();
    } else if (opt == "--snapshot-out") {
      snap_out = value();
    } else if (opt == "--dump") {
      dump = value();
    } else if (opt == "--press") {
      std::string arg = value();
      size_t at = arg.find('@');
      if (at == std::string::npos) fail("--press needs NAME@FRAME[+FRAMES]: " + arg);
      std::string name = arg.substr(0, at), when = arg.substr(at + 1), len = "6";
      size_t plus = when.find('+');
      if (plus != std::string::npos) {
        len = when.substr(plus + 1);
        when = when.substr(0, plus);
      }
      Press p;
      p.index = mapping_index(name.c_str());
      if (p.index < 0) fail("unknown input name: " + name);
      if (!parse_number(when.c_str(), &p.first) || !parse_number(len.c_str(), &p.count))
        fail("--press needs NAME@FRAME[+FRAMES], numbers from 0 to 1000000000: " + arg);
      presses.push_back(p);
    } else if (opt == "--type") {
      std::string arg = value();
      size_t at = arg.rfind('@');
      Typing t;
      if (at == std::string::npos || !parse_number(arg.c_str() + at + 1, &t.frame))
        fail("--type needs TEXT@FRAME, FRAME from 0 to 1000000000: " + arg);
      // "\n" in the text stands for Return.
      for (size_t i = 0; i < at; i++) {
        if (arg[i] == '\\' && i + 1 < at && arg[i + 1] == 'n') {
          t.text += '\n';
          i++;
        } else {
          t.text += arg[i];
        }
      }
      typing.push_back(t);
    } else {
      fail("unknown option: " + opt);
    }
  }

  // The same start-up as the desktop program, with the null host.
  machine_power_on();
  vdp_pal = pal ? 1 : 0;
  sound_pacing = 0;
  if (host_start() >= 0) fail("cannot create the frame buffer");
  quit = 0;
  // A CI run reads the user's bindings but never changes their file.
  mapping_read_only = 1;
  if (open_rom_file(image_path) != 0)
    fail(std::string("cannot load image: ") + image_path + ": " + load_error);
  init_peripheral(0);
  if (snap_in != nullptr && read_snapshot(snap_in) != 0)
    fail(std::string("cannot read snapshot: ") + snap_in);

  if (wav != nullptr) {
    sound_file = open_file(wav, "wb");
    if (sound_file == nullptr) fail(std::string("cannot create ") + wav);
    record_sound = 1;
    wav_start(sound_file);
    if (sound_file == nullptr) fail(std::string("cannot record sound into ") + wav);
  }
  if (avi != nullptr) {
    video_file = open_file(avi, "wb");
    if (video_file == nullptr) fail(std::string("cannot create ") + avi);
    record_video = 1;
    if (avi_start_video() != 0) fail(std::string("cannot record video into ") + avi);
  }

  size_t typed_pos = 0, typing_index = 0;
  const int lines = lines_per_frame(vdp_pal);
  auto start = std::chrono::steady_clock::now();
  for (long frame = 0; frame < frames && !quit; frame++) {
    for (const Press &p : presses) {
      if (frame == p.first) key_table[p.index] = 1;
      if (frame == p.first + p.count) key_table[p.index] = 0;
    }
    // Typing goes on one key a frame while the queue has room.
    while (typing_index < typing.size() && frame >= typing[typing_index].frame) {
      const std::string &text = typing[typing_index].text;
      if (typed_pos < text.size()) {
        if (type_key((unsigned char)text[typed_pos])) typed_pos++;
        break;
      }
      typed_pos = 0;
      typing_index++;
    }
    // The first frame starts the counts; the others go on from them, so the
    // sound periods run on unbroken across frames.
    if (frame == 0) start_z80(map1, map2, lines);
    else machine_run_lines(lines);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  int status = 0;
  end_sound_recording();
  avi_end_video();
  if (recording_failed) {
    fprintf(stderr, "tervox-headless: a recording stopped on a write error; its file holds what was written\n");
    status = 1;
  }
  if (screenshot != nullptr && save_frame_png(screenshot) != 0) {
    fprintf(stderr, "tervox-headless: cannot write %s\n", screenshot);
    status = 1;
  }
  if (snap_out != nullptr && save_snapshot(snap_out) != 0) {
    fprintf(stderr, "tervox-headless: cannot write %s\n", snap_out);
    status = 1;
  }
  if (dump != nullptr && debug_dump_to(dump) != 0) {
    fprintf(stderr, "tervox-headless: cannot write %s\n", dump);
    status = 1;
  }
  if (bench) {
    double rate = seconds > 0 ? frames / seconds : 0;
    double real = LINES_PER_SECOND / lines_per_frame(vdp_pal);
    printf("bench: %ld frames in %.2f s: %.0f frames a second, %.1f times real time\n", frames,
           seconds, rate, rate / real);
  }
  return status;
}
