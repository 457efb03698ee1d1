// The demo with each of its ten data files damaged in turn: every image cut
// to half its length, given another image type, or emptied, and the module
// emptied, replaced by an image, given a wrong identification or cut short;
// and a directory in the place of an image and of the module.
// Each run must report the damage the way the reader or the music glue
// reports it, once, go on drawing frames, and close cleanly on SIGTERM.
//
// The runs are short (a few seconds, until the caption shows a frame rate)
// and several run at once, each in its own directory, told apart on the
// display by the process id SDL puts on its window.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "image/tga.h"
#include "korvanti/player.h"
#include "support/message_box_recording.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

const char* const IMAGE_FILES[] = {"gul.tga",  "mask_alpha.tga", "mask_main.tga",
                                   "mask2.tga", "vand.tga",       "hud3_mask.tga",
                                   "hud3.tga", "code_mask.tga",  "code.tga"};
constexpr int PARALLEL_RUNS = 4;
constexpr double MIN_RUN = 3.0;               // seconds each run goes on at least
constexpr double FRAME_RATE_DEADLINE = 40.0;  // seconds to the first frame-rate caption
constexpr double EXIT_DEADLINE = 30.0;        // seconds from SIGTERM to the exit

Bytes read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string read_text(const fs::path& path) {
    Bytes bytes = read_bytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void write_bytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Standard error less SDL's own log lines ("CRITICAL: ..." from the disk
// audio driver); what is left are the boxes.
std::string without_log_lines(const std::string& text) {
    std::string kept;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text.compare(at, 10, "CRITICAL: ") != 0) kept += text.substr(at, end - at);
        at = end;
    }
    return kept;
}

// The ways a file is damaged.
Bytes half_of(Bytes bytes) {
    bytes.resize(bytes.size() / 2);
    return bytes;
}
Bytes another_image_type(Bytes bytes) {
    bytes[2] = 3;  // black-and-white uncompressed: neither accepted kind
    return bytes;
}
Bytes emptied(Bytes) { return {}; }

// One damaged run directory and what the demo did with it.
struct Variant {
    std::string label;
    std::string file;           // relative to the run directory
    Bytes contents;             // what the file holds for this run
    std::string expected_err;   // the boxes, as "caption: text\n" lines
    std::string expected_out;   // the glue's line, if any
    bool may_end;               // the song plays and may reach its end before SIGTERM
    bool directory;             // the file's name is taken by a directory instead
    fs::path dir;
    pid_t pid;
    Clock::time_point start;
    Clock::time_point term_sent;
    bool terminated;
    bool finished;
    int status;
    std::string caption;        // the window's caption when SIGTERM was sent
};

// What the reader reports for `contents`, read in this process: the boxes as
// the demo prints them with KORVANTI_MESSAGE_BOX=stderr.
std::string reader_messages(const fs::path& scratch, const Bytes& contents) {
    write_bytes(scratch, contents);
    message_box_recording_reset();
    Texture texture = {};
    load_tga(&texture, scratch.c_str());
    tga_free_pixels(&texture);
    std::string lines;
    for (int i = 0; i < message_box_recording.count && i < MESSAGE_BOX_RECORD_CAPACITY; ++i) {
        lines += std::string(message_box_recording.boxes[i].caption) + ": " + message_box_recording.boxes[i].text + "\n";
    }
    return lines;
}

// Whether the loader accepts `contents` as a module, in this process.
bool module_loads(const fs::path& scratch, const Bytes& contents) {
    write_bytes(scratch, contents);
    korvanti_song* song = korvanti_song_load_file(scratch.c_str(), nullptr);
    bool loaded = song != nullptr;
    korvanti_song_free(song);
    return loaded;
}

// The caption of the window that process `pid` owns, or "".
std::string caption_of(Display* display, Window window, pid_t pid) {
    Atom pid_atom = XInternAtom(display, "_NET_WM_PID", True);
    if (pid_atom != None) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format, &items,
                               &after, &data) == Success &&
            data != nullptr) {
            unsigned long owner = items == 1 && format == 32 ? *reinterpret_cast<unsigned long*>(data) : 0;
            XFree(data);
            char* name = nullptr;
            if (owner == static_cast<unsigned long>(pid) && XFetchName(display, window, &name) != 0 && name) {
                std::string text = name;
                XFree(name);
                return text;
            }
        }
    }
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::string found;
    if (XQueryTree(display, window, &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count && found.empty(); ++i) found = caption_of(display, children[i], pid);
        if (children != nullptr) XFree(children);
    }
    return found;
}

// Windows of other demo runs come and go while the tree is walked: a request
// about one that has just gone fails, and is ignored.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

bool shows_frame_rate(const std::string& caption) {
    float rate = -1;
    return std::sscanf(caption.c_str(), "korvanti [%f FPS]", &rate) == 1 && rate > 0;
}

class DamagedData : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(fs::path(KORVANTI_RUNDIR) / "musik.xm"))
            << "make_assets has not written the run directory " << KORVANTI_RUNDIR;
        std::string pattern = (fs::temp_directory_path() / "korvanti_damaged_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        base_ = pattern;
        display_ = XOpenDisplay(nullptr);
        ASSERT_NE(display_, nullptr) << "no X display";
        XSetErrorHandler(ignore_x_error);
    }
    void TearDown() override {
        if (display_ != nullptr) XCloseDisplay(display_);
        std::error_code ignored;
        if (!base_.empty()) fs::remove_all(base_, ignored);
    }

    void add(const std::string& label, const std::string& file, Bytes contents, std::string expected_err,
             std::string expected_out, bool may_end = false) {
        Variant variant = {};
        variant.may_end = may_end;
        variant.label = label;
        variant.file = file;
        variant.contents = std::move(contents);
        variant.expected_err = std::move(expected_err);
        variant.expected_out = std::move(expected_out);
        variants_.push_back(std::move(variant));
    }

    void start(Variant& variant, size_t index) {
        variant.dir = base_ / ("run" + std::to_string(index));
        fs::create_directories(variant.dir);
        fs::copy(fs::path(KORVANTI_RUNDIR) / "musik.xm", variant.dir / "musik.xm");
        fs::copy(fs::path(KORVANTI_RUNDIR) / "Data", variant.dir / "Data", fs::copy_options::recursive);
        if (variant.directory) {
            fs::remove(variant.dir / variant.file);
            fs::create_directory(variant.dir / variant.file);
        } else {
            write_bytes(variant.dir / variant.file, variant.contents);
        }
        variant.start = Clock::now();
        pid_t child = fork();
        if (child == 0) {
            if (chdir(variant.dir.c_str()) != 0) _exit(120);
            int out = open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0 || err < 0) _exit(121);
            dup2(out, 1);
            dup2(err, 2);
            setenv("SDL_AUDIODRIVER", "disk", 1);
            setenv("SDL_DISKAUDIOFILE", "audio.raw", 1);
            setenv("KORVANTI_MESSAGE_BOX", "stderr", 1);
            execl(KORVANTI_BINARY, "korvanti", static_cast<char*>(nullptr));
            _exit(122);
        }
        variant.pid = child;
    }

    // Polls one running demo: SIGTERM once its caption shows a frame rate
    // and it has run MIN_RUN seconds,
    // SIGKILL (a failure) when it never does or does not exit after SIGTERM.
    void poll(Variant& variant) {
        int status = 0;
        if (waitpid(variant.pid, &status, WNOHANG) == variant.pid) {
            variant.finished = true;
            variant.status = status;
            return;
        }
        double seconds = std::chrono::duration<double>(Clock::now() - variant.start).count();
        if (!variant.terminated) {
            std::string caption = caption_of(display_, DefaultRootWindow(display_), variant.pid);
            if ((shows_frame_rate(caption) && seconds >= MIN_RUN) || seconds > FRAME_RATE_DEADLINE) {
                variant.caption = caption;
                variant.terminated = true;
                variant.term_sent = Clock::now();
                kill(variant.pid, SIGTERM);
            }
        } else if (std::chrono::duration<double>(Clock::now() - variant.term_sent).count() > EXIT_DEADLINE) {
            kill(variant.pid, SIGKILL);
            waitpid(variant.pid, &variant.status, 0);
            variant.finished = true;
            variant.caption += " (killed: no exit after SIGTERM)";
        }
    }

    void run_all() {
        size_t next = 0;
        std::vector<size_t> running;
        while (next < variants_.size() || !running.empty()) {
            while (running.size() < PARALLEL_RUNS && next < variants_.size()) {
                start(variants_[next], next);
                running.push_back(next++);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            for (size_t i = 0; i < running.size();) {
                poll(variants_[running[i]]);
                if (variants_[running[i]].finished) {
                    running.erase(running.begin() + long(i));
                } else {
                    ++i;
                }
            }
        }
    }

    void check_all() {
        for (const Variant& variant : variants_) {
            SCOPED_TRACE(variant.label);
            std::string err = read_text(variant.dir / "err.txt");
            std::string out = read_text(variant.dir / "out.txt");
            std::printf("[ info ] %s: %s%s\n", variant.label.c_str(),
                        variant.terminated ? "closed at caption " : "ended by itself", variant.caption.c_str());
            ASSERT_TRUE(WIFEXITED(variant.status)) << "killed by signal " << WTERMSIG(variant.status) << "\n" << err;
            EXPECT_EQ(WEXITSTATUS(variant.status), 0);
            if (!variant.may_end || variant.terminated) {
                EXPECT_TRUE(variant.terminated) << "ended by itself\n" << err;
                EXPECT_TRUE(shows_frame_rate(variant.caption)) << "no frames drawn: caption \"" << variant.caption << "\"";
            }
            // Each box exactly once, and nothing else from the reader; the
            // music's lines go to standard error too, after the boxes.
            EXPECT_EQ(without_log_lines(err), variant.expected_err + variant.expected_out);
            EXPECT_EQ(out, variant.expected_out);
        }
    }

    fs::path base_;
    Display* display_ = nullptr;
    std::vector<Variant> variants_;
};

}  // namespace

TEST_F(DamagedData, EachImageCutEmptiedOrOfAnotherTypeIsReportedAndTheDemoGoesOn) {
    const fs::path data = fs::path(KORVANTI_RUNDIR) / "Data";
    const fs::path scratch = base_ / "scratch.tga";
    struct Damage {
        const char* name;
        Bytes (*apply)(Bytes);
    };
    const Damage damages[] = {{"half", half_of}, {"type 3", another_image_type}, {"empty", emptied}};
    for (const char* file : IMAGE_FILES) {
        Bytes original = read_bytes(data / file);
        ASSERT_GT(original.size(), 18u) << file;
        for (const Damage& damage : damages) {
            Bytes damaged = damage.apply(original);
            std::string messages = reader_messages(scratch, damaged);
            // The reader's own texts for these damages, one box each.
            if (damage.apply == emptied) {
                ASSERT_EQ(messages, "ERROR: Could not read file header\n") << file;
            } else if (damage.apply == another_image_type) {
                ASSERT_EQ(messages, "Invalid Image: TGA file be type 2 or type 10 \n") << file;
            } else if (original[2] == 2) {
                ASSERT_EQ(messages, "ERROR: Could not read image data\n") << file;
            } else {
                ASSERT_TRUE(messages == "ERROR: Could not read RLE header\n" ||
                            messages == "ERROR: Could not read image data\n" ||
                            messages == "ERROR: Could not read from file\n")
                    << file << ": " << messages;
            }
            add(std::string(file) + " " + damage.name, std::string("Data/") + file, damaged, messages, "");
        }
    }
    // A directory where an image should be opens, but reads nothing.
    add("gul.tga a directory", "Data/gul.tga", {}, "ERROR: Could not read file header\n", "");
    variants_.back().directory = true;
    run_all();
    check_all();
}

TEST_F(DamagedData, DamagedModuleIsReportedOrPlayedAndTheDemoGoesOn) {
    const Bytes module = read_bytes(fs::path(KORVANTI_RUNDIR) / "musik.xm");
    ASSERT_GT(module.size(), 400u);
    const fs::path scratch = base_ / "scratch.xm";
    const std::string refused = "Error loading song\n";

    Bytes wrong_id = module;
    wrong_id[16] = '!';  // "Extended Module:" followed by something else than a blank
    Bytes header_only(module.begin(), module.begin() + 80);
    const Bytes image = read_bytes(fs::path(KORVANTI_RUNDIR) / "Data" / "mask2.tga");

    // These cannot be modules.
    ASSERT_FALSE(module_loads(scratch, {}));
    ASSERT_FALSE(module_loads(scratch, wrong_id));
    ASSERT_FALSE(module_loads(scratch, image));
    add("musik.xm empty", "musik.xm", {}, "", refused);
    add("musik.xm wrong identification", "musik.xm", wrong_id, "", refused);
    add("musik.xm holding an image", "musik.xm", image, "", refused);
    add("musik.xm a directory", "musik.xm", {}, "", refused);
    variants_.back().directory = true;
    // A module cut short is not detected: it loads with what is there, and
    // whatever it holds must play without harm; if that reaches order 8 the
    // demo ends by itself, normally.
    const Bytes half = half_of(module);
    const Bytes* cuts[] = {&half, &header_only};
    for (const Bytes* cut : cuts) {
        bool loads = module_loads(scratch, *cut);
        add("musik.xm cut to " + std::to_string(cut->size()) + " bytes", "musik.xm", *cut, "",
            loads ? "" : refused, loads);
    }
    EXPECT_TRUE(module_loads(scratch, half)) << "half the module no longer loads";
    run_all();
    check_all();
}
