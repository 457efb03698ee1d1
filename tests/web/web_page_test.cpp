// The demo as a web page (build-web/korvanti-web, named by the environment
// as KORVANTI_WEB_PAGE), in headless Chromium with software GL, served by a
// local static server, its sound going to a private PulseAudio server:
// - with ?autostart it plays (the music heard), shows the frame rate in the
//   title and ends by itself when order 8 is heard; the sound the server
//   got is the music rendered offline, bit for bit, between any dropouts;
//   each of its four scenes, taken off the canvas twice (in the fog's
//   fade-out and with the fog off), is the picture the native scenes draw
//   for the same frame, and not one of a wrong frame;
// - without, it offers the start, plays after a click and ends on Escape;
// - on F or a double click it fills the screen, keeping 4:3 with black bars;
// - served from an address that is neither https nor localhost (no
//   AudioWorklet there) it offers the start, plays timed by the clock and
//   ends on Escape;
// - with a damaged module and picture it shows the desktop's messages.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/sound_check.h"
#include "heard_in_order.h"
#include "image/tga.h"
#include "korvanti/player.h"
#include "support/child_process.h"
#include "support/message_box_recording.h"
#include "support/pulse_server.h"
#include "support/scratch_dir.h"
#include "web/browser.h"
#include "web/native_frames.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int32_t RATE = 44100;
constexpr double START_SECONDS = 90.0;  // to "ready" or "playing": a busy machine compiles slowly
constexpr double POLL_SECONDS = 0.25;

// The state and the title, separated by '|'.
const char* const LOOK = "document.documentElement.dataset.state + '|' + document.title";

// Set before the page loads: takes the canvas's pixels in the frame that
// first fits each of eight slots, two a scene, as the frame is drawn; both
// in the scene's second order (2s + 1), where the fog is off until row 107
// and then thickens by a step a frame whatever the frame rate. Slot 2s: the
// fog off, from row 40 on. Slot 2s + 1: the fog on again and just thick
// enough to matter at the scene's depth (the cubes about 18 units away, the
// tunnel's walls up to 100, the floor 25 to 65). korvantiGrab(slot) gives
// what the frame was drawn for, '|', and its pixels as base64 RGB rows from
// the top; '' while there is none.
const char* const GRABBER = R"(
window.korvantiGrabs = [];
window.korvantiFrameWatch = function (text) {
  const f = text.split(' ');
  const order = +f[2], row = +f[3], fogOn = f[6] === '1', density = +f[11];
  if (order < 0 || order > 7 || order % 2 === 0) return;
  const scene = order >> 1;
  let slot = -1;
  if (!fogOn && row >= 40 && row < 107) slot = 2 * scene;
  if (fogOn && row >= 107 && density >= [0.04, 0.04, 0.1, 0.02][scene]) slot = 2 * scene + 1;
  if (slot < 0 || window.korvantiGrabs[slot]) return;
  const canvas = document.getElementById('canvas');
  const copy = document.createElement('canvas');
  copy.width = canvas.width;
  copy.height = canvas.height;
  const g = copy.getContext('2d');
  g.drawImage(canvas, 0, 0);
  window.korvantiGrabs[slot] = { drawn: text, pixels: g.getImageData(0, 0, copy.width, copy.height).data };
};
window.korvantiGrab = function (slot) {
  const grab = window.korvantiGrabs[slot];
  if (!grab) return '';
  const d = grab.pixels;
  let text = '';
  const chunk = [];
  for (let i = 0; i < d.length; i += 4) {
    chunk.push(d[i], d[i + 1], d[i + 2]);
    if (chunk.length >= 30000) {
      text += String.fromCharCode.apply(null, chunk);
      chunk.length = 0;
    }
  }
  text += String.fromCharCode.apply(null, chunk);
  return grab.drawn + '|' + btoa(text);
};
)";

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Look {
    std::string state;
    std::string title;
};

Look look(Browser* browser, std::string* why) {
    std::string text = browser_evaluate(browser, LOOK, why);
    size_t bar = text.find('|');
    if (bar == std::string::npos) return Look{"", ""};
    return Look{text.substr(0, bar), text.substr(bar + 1)};
}

std::vector<uint8_t> from_base64(const std::string& text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    uint32_t bits = 0;
    int32_t count = 0;
    for (char c : text) {
        int32_t value = c >= 'A' && c <= 'Z'   ? c - 'A'
                        : c >= 'a' && c <= 'z' ? c - 'a' + 26
                        : c >= '0' && c <= '9' ? c - '0' + 52
                        : c == '+'             ? 62
                        : c == '/'             ? 63
                                               : -1;
        if (value < 0) continue;
        bits = (bits << 6) | static_cast<uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes.push_back(static_cast<uint8_t>(bits >> count));
        }
    }
    return bytes;
}

// A picture taken off the page's canvas, with what its frame was drawn for.
struct Grab {
    DrawnFrame frame;
    Picture picture;
};

// Slot `slot` of the page's grabs; false when it holds none.
bool fetch_grab(Browser* browser, int32_t slot, Grab* grab, std::string* why) {
    std::string text = browser_evaluate(browser, "korvantiGrab(" + std::to_string(slot) + ")", why);
    size_t bar = text.find('|');
    if (bar == std::string::npos) return false;
    if (!parse_drawn_frame(text.substr(0, bar), &grab->frame)) {
        *why = "not a frame: " + text.substr(0, bar);
        return false;
    }
    grab->picture.width = 640;
    grab->picture.height = 480;
    grab->picture.rgb = from_base64(text.substr(bar + 1));
    if (grab->picture.rgb.size() != 640 * 480 * 3) {
        *why = "a picture of " + std::to_string(grab->picture.rgb.size()) + " bytes";
        return false;
    }
    return true;
}

std::string state_of(Browser* browser) {
    return browser_evaluate(browser, "document.documentElement.dataset.state", nullptr);
}

std::string message_of(Browser* browser) {
    return browser_evaluate(browser, "document.getElementById('message').textContent", nullptr);
}

// Waits up to `seconds` for the page's state to become `wanted`; the state
// last seen goes to *last.
bool wait_for_state(Browser* browser, const std::string& wanted, double seconds, std::string* last) {
    auto start = Clock::now();
    do {
        *last = state_of(browser);
        if (*last == wanted) return true;
        std::this_thread::sleep_for(std::chrono::duration<double>(POLL_SECONDS));
    } while (seconds_since(start) < seconds);
    return false;
}

// A static file server for `dir` on a free port of `address`.
struct FileServer {
    pid_t pid = 0;
    int port = 0;
};

std::string serve(FileServer* server, const std::string& dir, const std::string& address, const std::string& log_path) {
    ChildLaunch launch;
    launch.argv = {"python3", "-u", "-m", "http.server", "0", "--bind", address, "--directory", dir};
    launch.out_path = log_path;
    launch.err_path = log_path + ".err";
    std::string error;
    server->pid = start_child(launch, &error);
    if (server->pid == 0) return error;
    const std::regex serving("port ([0-9]+)");
    auto start = Clock::now();
    while (seconds_since(start) < 20.0) {
        std::smatch found;
        std::string said = read_whole_file(log_path);
        if (std::regex_search(said, found, serving)) {
            server->port = std::atoi(found[1].str().c_str());
            return "";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "the file server names no port: " + read_whole_file(launch.err_path);
}

// What a test of the page runs: the sound server, the file server and the
// browser, each in the test's own folder.
struct PageRun {
    std::string address = "127.0.0.1";  // where the page is served
    std::string dir;
    PulseServer pulse;
    FileServer files;
    Browser browser;
};

std::string page_run_start(PageRun* run, const std::string& page_dir, const char* tag) {
    run->dir = make_scratch_dir(tag);
    if (run->dir.empty()) return "no scratch folder";
    fs::create_directories(run->dir + "/pulse");
    fs::create_directories(run->dir + "/profile");
    std::string error = pulse_server_start(&run->pulse, run->dir + "/pulse");
    if (error.empty()) error = serve(&run->files, page_dir, run->address, run->dir + "/files.log");
    if (error.empty()) error = browser_start(&run->browser, pulse_client_environment(run->pulse), run->dir + "/profile");
    return error;
}

std::string page_url(const PageRun& run, const char* query) {
    return "http://" + run.address + ":" + std::to_string(run.files.port) + "/index.html" + query;
}

void page_run_stop(PageRun* run) {
    browser_stop(&run->browser);
    if (run->files.pid != 0) stop_child(run->files.pid, SIGTERM, 5.0, nullptr);
    run->files.pid = 0;
    pulse_server_stop(&run->pulse);
    remove_scratch_dir(run->dir);
}

const char* page_dir() { return std::getenv("KORVANTI_WEB_PAGE"); }

// The song's first frame of each order position, in seconds.
bool order_starts(const std::string& module, double* starts, int32_t count) {
    korvanti_song* song = korvanti_song_load_file(module.c_str(), nullptr);
    if (song == nullptr) return false;
    bool all = true;
    for (int32_t order = 0; order < count; ++order) {
        int64_t frame = korvanti_song_position_frame(song, RATE, order, 0);
        all = all && frame >= 0;
        starts[order] = static_cast<double>(frame) / RATE;
    }
    korvanti_song_free(song);
    return all;
}

const char* const SCENE_NAMES[4] = {"word", "number", "tunnel", "floor"};

// Pictures are compared as 80x60 blocks of 8x8 pixels, by the sum of the
// absolute differences of the blocks' means over the pictures' mean light
// (relative_block_difference: 0 the same, 2 lit in different places). The
// page's picture against the native one of the same frame (Chromium's
// software WebGL against Mesa's llvmpipe), up to eight pictures a run in
// seven runs (two with two busy processes beside; in two the page was
// broken on purpose, see below, and only its unharmed pictures count):
// 0.0016 to 0.015, the dim floor the most (a level's rounding weighs more
// there), then the word and number (their cubes' white edges are lines a
// pixel wide). Against wrong pictures at least 0.18: the floor half a
// second later (turned by 1.3 degrees, the wave moved by a strip), 0.29
// the tunnel then, 0.35 the floor scaled by 0.9, 0.39 the word and the
// number without their fog, 0.41 the tunnel upside down, another scene
// 1.2 and more. The bound sits between, a factor of three from the
// largest right figure and three and a half from the smallest wrong one.
// With the page's fog density at 0.8 times the asked one, its fogged
// pictures gave 0.095 to 0.20; with its lights' diffuse part left out, the
// floor 1.04.
constexpr int32_t COMPARED_BLOCK = 8;
constexpr double SAME_PICTURE = 0.05;

// The page's picture against the native one of the same frame, and against
// wrong ones: the frame half a second (18 frames) later, another scene, the
// fog left out (where it is on), the picture upside down or scaled.
void compare_with_native(NativeScenes* native, int32_t slot, const Grab& grab) {
    const DrawnFrame& frame = grab.frame;
    const Picture right = native_frame(native, frame, 0);
    struct Wrong {
        const char* name;
        Picture picture;
    };
    std::vector<Wrong> wrongs;
    wrongs.push_back({"later", native_frame(native, frame, 18)});
    DrawnFrame other = frame;
    other.order = (frame.order + 2) % 8;
    wrongs.push_back({"other scene", native_frame(native, other, 0)});
    if (frame.fog_enabled) {
        DrawnFrame clear = frame;
        clear.fog_enabled = false;
        clear.gl_fog_density = 0.0f;
        wrongs.push_back({"no fog", native_frame(native, clear, 0)});
    }
    wrongs.push_back({"upside down", flipped(right)});
    wrongs.push_back({"scaled", scaled(right, 0.9)});

    const double same = relative_block_difference(grab.picture, right, COMPARED_BLOCK);
    std::string figures;
    for (const Wrong& wrong : wrongs) {
        const double difference = relative_block_difference(grab.picture, wrong.picture, COMPARED_BLOCK);
        EXPECT_GT(difference, SAME_PICTURE) << "slot " << slot << ": the page's picture is like the " << wrong.name
                                            << " one";
        char figure[64];
        std::snprintf(figure, sizeof figure, ", %s %.4f", wrong.name, difference);
        figures += figure;
    }
    EXPECT_LT(same, SAME_PICTURE) << "slot " << slot << ": the page's picture is not the native one";
    std::printf("[ info ] %s with the fog %s (%.3f), frame %lld, order %d row %d: against native %.4f%s\n",
                SCENE_NAMES[slot / 2], frame.fog_enabled ? "on" : "off", frame.gl_fog_density,
                static_cast<long long>(frame.number), frame.order, frame.row, same, figures.c_str());
}

TEST(WebPage, PlaysItsScenesAndEndsByItselfWhenOrderEightIsHeard) {
    ASSERT_NE(page_dir(), nullptr) << "KORVANTI_WEB_PAGE names no page folder";
    double starts[9];
    ASSERT_TRUE(order_starts(std::string(page_dir()) + "/musik.xm", starts, 9));
    const Reference reference = render_reference(std::string(page_dir()) + "/musik.xm", RATE, 8);
    ASSERT_GE(reference.end_block, 0) << "the module never reaches order 8";
    PageRun run;
    std::string error = page_run_start(&run, page_dir(), "web-page");
    ASSERT_EQ(error, "");
    PulseRecording recording;
    const std::string sound_path = run.dir + "/sound.raw";
    ASSERT_EQ(pulse_record_start(&recording, run.pulse, sound_path), "");
    ASSERT_EQ(browser_add_script(&run.browser, GRABBER), "");
    ASSERT_EQ(browser_navigate(&run.browser, page_url(run, "?autostart")), "");
    std::string last;
    ASSERT_TRUE(wait_for_state(&run.browser, "playing", START_SECONDS, &last)) << "state " << last;

    // Each scene spans two order positions; the page takes its pictures.
    auto playing = Clock::now();
    bool frame_rate_shown = false;
    const std::regex frame_rate_title("korvanti \\[[0-9]+\\.[0-9] FPS\\]");
    Look seen = {"playing", ""};
    double limit = starts[8] + 90.0;
    while (seen.state == "playing" && seconds_since(playing) < limit) {
        std::this_thread::sleep_for(std::chrono::duration<double>(POLL_SECONDS));
        std::string why;
        seen = look(&run.browser, &why);
        ASSERT_EQ(why, "");
        frame_rate_shown = frame_rate_shown || std::regex_match(seen.title, frame_rate_title);
    }
    double ended_after = seconds_since(playing);
    EXPECT_EQ(seen.state, "ended") << "after " << ended_after << " s";
    // Ended with order 8 heard, not before (the poll is late by a quarter of
    // a second at most). Later by as much as the sound stalled: on a machine
    // with more work than processors the browser's audio thread falls
    // behind the sound card (seen: 30 s late with 14 processes running on
    // two cores), and the song with it.
    EXPECT_GT(ended_after, starts[8] - 1.0);
    EXPECT_LT(ended_after, starts[8] + 60.0);
    EXPECT_TRUE(frame_rate_shown);
    EXPECT_EQ(message_of(&run.browser), "");
    Grab grabs[8];
    bool grabbed[8] = {};
    for (int32_t slot = 0; slot < 8; ++slot) {
        std::string why;
        grabbed[slot] = fetch_grab(&run.browser, slot, &grabs[slot], &why);
        EXPECT_TRUE(grabbed[slot]) << "no picture in slot " << slot << " " << why;
    }
    RecordProperty("ended_after_s", std::to_string(ended_after));

    // The music, bit for bit, in order: the worklet plays the blocks as
    // rendered, and a browser that falls behind puts zeros in (or leaves a
    // little out where it catches up).
    ASSERT_EQ(pulse_record_stop(&recording), "");
    std::vector<int16_t> recorded = read_pcm(sound_path);
    InOrderFigures heard = follow_in_order(reference.pcm, recorded, 2 * RATE);
    RecordProperty("reference_frames", std::to_string(heard.reference_frames));
    RecordProperty("heard_frames", std::to_string(heard.heard_frames));
    RecordProperty("inserted_frames", std::to_string(heard.inserted_frames));
    std::printf("[ info ] ended %.2f s after playing began; heard %lld of %lld frames, %lld lost at the start, "
                "%d skips of %lld frames, %lld foreign, %.2f s of dropouts\n",
                ended_after, static_cast<long long>(heard.heard_frames),
                static_cast<long long>(heard.reference_frames), static_cast<long long>(heard.start_lost_frames),
                heard.skips, static_cast<long long>(heard.skipped_frames),
                static_cast<long long>(heard.foreign_frames), double(heard.inserted_frames) / RATE);
    EXPECT_GE(heard.start_lost_frames, 0) << "nothing of the music heard";
    // The browser's sound stream drops what the worklet played while the
    // stream to the server was being set up (seen: 4095 frames, 93 ms).
    EXPECT_LE(heard.start_lost_frames, RATE / 4) << "more than 250 ms lost at the start";
    EXPECT_GE(heard.heard_frames, heard.reference_frames * 95 / 100)
        << heard.skips << " skips of " << heard.skipped_frames << " frames in all";
    EXPECT_LE(heard.foreign_frames, RATE / 10) << "sound that is not the music";
    EXPECT_GE(heard.last_heard_frame, int64_t(reference.pcm.size() / 2) - 2 * RATE)
        << "the recording ends before the song";
    page_run_stop(&run);

    // The same frames drawn natively, once the browser has gone.
    NativeScenes native;
    ASSERT_EQ(native_scenes_open(&native, page_dir()), "");
    for (int32_t slot = 0; slot < 8; ++slot) {
        if (grabbed[slot]) compare_with_native(&native, slot, grabs[slot]);
    }
    native_scenes_close(&native);
}

TEST(WebPage, OffersTheStartPlaysAfterAClickAndEndsOnEscape) {
    ASSERT_NE(page_dir(), nullptr) << "KORVANTI_WEB_PAGE names no page folder";
    PageRun run;
    std::string error = page_run_start(&run, page_dir(), "web-escape");
    ASSERT_EQ(error, "");
    ASSERT_EQ(browser_navigate(&run.browser, page_url(run, "")), "");
    std::string last;
    ASSERT_TRUE(wait_for_state(&run.browser, "ready", START_SECONDS, &last)) << "state " << last;
    EXPECT_EQ(browser_evaluate(&run.browser, "String(document.getElementById('start').hidden)", nullptr), "false");
    // Nothing plays before the click.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(state_of(&run.browser), "ready");
    ASSERT_EQ(browser_click(&run.browser, 320, 240), "");
    ASSERT_TRUE(wait_for_state(&run.browser, "playing", START_SECONDS, &last)) << "state " << last;
    EXPECT_EQ(browser_evaluate(&run.browser, "String(document.getElementById('start').hidden)", nullptr), "true");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(state_of(&run.browser), "playing");
    ASSERT_EQ(browser_press_key(&run.browser, "Escape", 27), "");
    EXPECT_TRUE(wait_for_state(&run.browser, "ended", 15.0, &last)) << "state " << last;
    EXPECT_EQ(browser_evaluate(&run.browser, "String(document.getElementById('end').hidden)", nullptr), "false");
    page_run_stop(&run);
}

// The value of a JavaScript expression as a number; NaN when it is none.
double number_of(Browser* browser, const std::string& expression) {
    std::string text = browser_evaluate(browser, "String(" + expression + ")", nullptr);
    return text.empty() ? std::nan("") : std::atof(text.c_str());
}

// Waits up to `seconds` for `expression` to give "true".
bool wait_until(Browser* browser, const std::string& expression, double seconds) {
    auto start = Clock::now();
    do {
        if (browser_evaluate(browser, "String(" + expression + ")", nullptr) == "true") return true;
        std::this_thread::sleep_for(std::chrono::duration<double>(POLL_SECONDS));
    } while (seconds_since(start) < seconds);
    return false;
}

// The canvas's place on the page, in CSS pixels: left top width height.
struct Place {
    double left, top, width, height;
};

Place canvas_place(Browser* browser) {
    std::string text = browser_evaluate(browser,
                                        "(() => { const r = document.getElementById('canvas').getBoundingClientRect();"
                                        " return [r.left, r.top, r.width, r.height].join(' '); })()",
                                        nullptr);
    Place place = {-1, -1, -1, -1};
    std::sscanf(text.c_str(), "%lf %lf %lf %lf", &place.left, &place.top, &place.width, &place.height);
    return place;
}

// The frames the page has drawn so far (from what the last was drawn for).
double frames_drawn(Browser* browser) { return number_of(browser, "korvantiPage.drawn.split(' ')[0]"); }

// On F, and on a double click, the stage holding the canvas takes the whole
// screen: the picture as large as fits keeping 4:3, centred, black beside
// it. A screen of 2:1 (960x480) puts bars of 160 pixels left and right; one
// of 1:1 (600x600) bars of 75 above and below. The show goes on meanwhile.
TEST(WebPage, FillsTheScreenOnRequestKeepingFourToThree) {
    ASSERT_NE(page_dir(), nullptr) << "KORVANTI_WEB_PAGE names no page folder";
    PageRun run;
    ASSERT_EQ(page_run_start(&run, page_dir(), "web-full-screen"), "");
    ASSERT_EQ(browser_set_size(&run.browser, 960, 480), "");
    ASSERT_EQ(browser_navigate(&run.browser, page_url(run, "?autostart")), "");
    std::string last;
    ASSERT_TRUE(wait_for_state(&run.browser, "playing", START_SECONDS, &last)) << "state " << last;
    const std::string full = "!!(document.fullscreenElement && document.fullscreenElement.id === 'stage')";
    EXPECT_EQ(browser_evaluate(&run.browser, "String(" + full + ")", nullptr), "false");

    ASSERT_EQ(browser_press_key(&run.browser, "f", 70), "");
    EXPECT_TRUE(wait_until(&run.browser, full, 10.0)) << "F asked for the full screen in vain";
    Place place = canvas_place(&run.browser);
    EXPECT_NEAR(place.left, 160.0, 0.5);
    EXPECT_NEAR(place.top, 0.0, 0.5);
    EXPECT_NEAR(place.width, 640.0, 0.5);
    EXPECT_NEAR(place.height, 480.0, 0.5);
    // The bars are the stage's own black; nothing else is drawn there.
    EXPECT_EQ(browser_evaluate(&run.browser, "document.elementFromPoint(80, 240).id", nullptr), "stage");
    EXPECT_EQ(browser_evaluate(&run.browser, "document.elementFromPoint(880, 240).id", nullptr), "stage");
    EXPECT_EQ(browser_evaluate(&run.browser, "getComputedStyle(document.getElementById('stage')).backgroundColor",
                               nullptr),
              "rgb(0, 0, 0)");
    // Still drawing and playing.
    const double before = frames_drawn(&run.browser);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_GT(frames_drawn(&run.browser), before);
    EXPECT_EQ(state_of(&run.browser), "playing");

    // Out again, a screen of another shape, and a double click.
    browser_evaluate(&run.browser, "document.exitFullscreen().then(() => 'out')", nullptr);
    EXPECT_TRUE(wait_until(&run.browser, "!document.fullscreenElement", 10.0));
    ASSERT_EQ(browser_set_size(&run.browser, 600, 600), "");
    ASSERT_EQ(browser_double_click(&run.browser, 300, 300), "");
    EXPECT_TRUE(wait_until(&run.browser, full, 10.0)) << "a double click asked for the full screen in vain";
    place = canvas_place(&run.browser);
    EXPECT_NEAR(place.left, 0.0, 0.5);
    EXPECT_NEAR(place.top, 75.0, 0.5);
    EXPECT_NEAR(place.width, 600.0, 0.5);
    EXPECT_NEAR(place.height, 450.0, 0.5);
    EXPECT_EQ(browser_evaluate(&run.browser, "document.elementFromPoint(300, 30).id", nullptr), "stage");
    EXPECT_EQ(state_of(&run.browser), "playing");
    page_run_stop(&run);
}

// The machine's first IPv4 address that is up and not loopback; "" when
// it has none.
std::string outward_address() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return "";
    std::string found;
    for (ifaddrs* entry = list; entry != nullptr && found.empty(); entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        char text[INET_ADDRSTRLEN];
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) found = text;
    }
    freeifaddrs(list);
    return found;
}

// Served from an address that is neither https nor localhost, the browser
// gives the page no AudioWorklet (though the AudioWorkletNode constructor
// is there). The page then offers the start, plays after a click through
// a ScriptProcessorNode: the music, in order, timed by the audio clock,
// the scenes following it; it ends on Escape.
TEST(WebPage, FromAnInsecureOriginPlaysItsMusicWithoutTheWorklet) {
    ASSERT_NE(page_dir(), nullptr) << "KORVANTI_WEB_PAGE names no page folder";
    PageRun run;
    run.address = outward_address();
    if (run.address.empty()) GTEST_SKIP() << "the machine has no address but loopback";
    ASSERT_EQ(page_run_start(&run, page_dir(), "web-insecure"), "");
    PulseRecording recording;
    const std::string sound_path = run.dir + "/sound.raw";
    ASSERT_EQ(pulse_record_start(&recording, run.pulse, sound_path), "");
    ASSERT_EQ(browser_navigate(&run.browser, page_url(run, "")), "");
    std::string last;
    ASSERT_TRUE(wait_for_state(&run.browser, "ready", START_SECONDS, &last)) << "state " << last;
    EXPECT_EQ(browser_evaluate(&run.browser, "String(window.isSecureContext)", nullptr), "false");
    EXPECT_EQ(browser_evaluate(&run.browser, "String('audioWorklet' in AudioContext.prototype)", nullptr), "false");
    ASSERT_EQ(browser_click(&run.browser, 320, 240), "");
    ASSERT_TRUE(wait_for_state(&run.browser, "playing", START_SECONDS, &last)) << "state " << last;
    auto playing = Clock::now();
    EXPECT_EQ(browser_evaluate(&run.browser, "korvantiPage.soundKind()", nullptr), "processor");
    // The song's frames heard follow the clock: over four seconds about as
    // many (the reads are late by an evaluation's time each).
    const double heard_before = number_of(&run.browser, "korvantiPage.framesHeard()");
    auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(4));
    const double heard_after = number_of(&run.browser, "korvantiPage.framesHeard()");
    const double seconds = seconds_since(start);
    EXPECT_GT((heard_after - heard_before) / RATE, seconds - 1.0);
    EXPECT_LT((heard_after - heard_before) / RATE, seconds + 1.0);
    // The scenes follow: the last frame was drawn for what was heard then.
    DrawnFrame frame = {};
    ASSERT_TRUE(parse_drawn_frame(browser_evaluate(&run.browser, "korvantiPage.drawn", nullptr), &frame));
    double starts[9];
    ASSERT_TRUE(order_starts(std::string(page_dir()) + "/musik.xm", starts, 9));
    const double heard_seconds = frame.heard / RATE;
    EXPECT_GT(heard_seconds, 2.0);
    ASSERT_GE(frame.order, 0);
    ASSERT_LT(frame.order, 8);
    // Within the order heard (give or take a block of 20 ms).
    EXPECT_LE(starts[frame.order], heard_seconds + 0.025) << "order " << frame.order;
    EXPECT_GT(starts[frame.order + 1], heard_seconds - 0.025) << "order " << frame.order;
    EXPECT_EQ(state_of(&run.browser), "playing");
    ASSERT_EQ(browser_press_key(&run.browser, "Escape", 27), "");
    const double played = seconds_since(playing);
    EXPECT_TRUE(wait_for_state(&run.browser, "ended", 15.0, &last)) << "state " << last;
    EXPECT_EQ(message_of(&run.browser), "");
    ASSERT_EQ(pulse_record_stop(&recording), "");
    const std::vector<int16_t> recorded = read_pcm(sound_path);
    page_run_stop(&run);

    // What the sound server got is the song from its start, in order, for
    // about as long as it played (less what a busy machine's dropouts and
    // the stream's setup took).
    const Reference reference = render_reference(std::string(page_dir()) + "/musik.xm", RATE, 2);
    InOrderFigures heard = follow_in_order(reference.pcm, recorded, 2 * RATE);
    std::printf("[ info ] played %.2f s; heard %lld frames in order, %lld lost at the start, %d skips, "
                "%lld foreign, %.2f s of dropouts\n",
                played, static_cast<long long>(heard.heard_frames), static_cast<long long>(heard.start_lost_frames),
                heard.skips, static_cast<long long>(heard.foreign_frames), double(heard.inserted_frames) / RATE);
    EXPECT_GE(heard.start_lost_frames, 0) << "nothing of the music heard";
    EXPECT_LE(heard.start_lost_frames, RATE / 2) << "more than half a second lost at the start";
    EXPECT_GE(heard.heard_frames + heard.inserted_frames, static_cast<int64_t>((played - 1.5) * RATE));
    EXPECT_LE(heard.foreign_frames, RATE / 10) << "sound that is not the music";
}

TEST(WebPage, ShowsTheMessagesOfADamagedModuleAndPicture) {
    ASSERT_NE(page_dir(), nullptr) << "KORVANTI_WEB_PAGE names no page folder";
    std::string copy_dir = make_scratch_dir("web-damaged");
    ASSERT_FALSE(copy_dir.empty());
    const fs::path page = fs::path(copy_dir) / "page";
    fs::copy(page_dir(), page, fs::copy_options::recursive);
    std::ofstream(page / "musik.xm", std::ios::trunc) << "not a module\n";
    fs::resize_file(page / "Data" / "vand.tga", 30);
    // What the reader says about that file, as the demo reports it.
    message_box_recording_reset();
    Texture texture = {};
    load_tga(&texture, (page / "Data" / "vand.tga").c_str());
    std::free(texture.pixels);
    ASSERT_EQ(message_box_recording.count, 1);
    const std::string picture_text = message_box_recording.boxes[0].text;

    PageRun run;
    std::string error = page_run_start(&run, page.string(), "web-damaged-run");
    ASSERT_EQ(error, "");
    ASSERT_EQ(browser_navigate(&run.browser, page_url(run, "?autostart")), "");
    std::string last;
    ASSERT_TRUE(wait_for_state(&run.browser, "error", START_SECONDS, &last)) << "state " << last;
    // The module's line comes after the pictures'; the show goes on.
    std::string message;
    auto start = Clock::now();
    do {
        std::this_thread::sleep_for(std::chrono::duration<double>(POLL_SECONDS));
        message = message_of(&run.browser);
    } while (message.find("Error loading song") == std::string::npos && seconds_since(start) < 30.0);
    EXPECT_NE(message.find(picture_text), std::string::npos) << message;
    EXPECT_NE(message.find("Error loading song"), std::string::npos) << message;
    EXPECT_EQ(browser_evaluate(&run.browser, "String(document.getElementById('message').hidden)", nullptr),
              "false");
    EXPECT_EQ(state_of(&run.browser), "error");
    page_run_stop(&run);
    remove_scratch_dir(copy_dir);
}

}  // namespace

