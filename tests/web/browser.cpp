#include "web/browser.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double REPLY_SECONDS = 60.0;  // a software-GL page under load may answer slowly

const char* const FLAGS[] = {
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--autoplay-policy=no-user-gesture-required", "--remote-debugging-pipe", "--window-size=640,480",
    // A page in the background is not to be slowed down.
    "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
    "--disable-backgrounding-occluded-windows",
};

// The next whole message, at most `seconds` from now; false when none came.
bool read_message(Browser* browser, double seconds, std::string* message) {
    auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        size_t end = browser->pending.find('\0');
        if (end != std::string::npos) {
            *message = browser->pending.substr(0, end);
            browser->pending.erase(0, end + 1);
            return true;
        }
        double left = std::chrono::duration<double>(deadline - Clock::now()).count();
        if (left <= 0.0) return false;
        pollfd watch = {browser->replies, POLLIN, 0};
        if (poll(&watch, 1, static_cast<int>(left * 1000.0) + 1) <= 0) continue;
        char chunk[65536];
        ssize_t got = read(browser->replies, chunk, sizeof chunk);
        if (got <= 0) return false;  // the browser has gone
        browser->pending.append(chunk, static_cast<size_t>(got));
    }
}

// Sends a command (to the page's session when `to_page`) and waits for its
// reply, skipping the events that come before it.
std::string call(Browser* browser, const std::string& method, const std::string& params, bool to_page,
                 std::string* reply) {
    int id = browser->next_id++;
    std::string command = "{\"id\":" + std::to_string(id) + ",\"method\":" + json_quote(method) +
                          ",\"params\":" + params;
    if (to_page) command += ",\"sessionId\":" + json_quote(browser->session);
    command += "}";
    command.push_back('\0');
    for (size_t written = 0; written < command.size();) {
        ssize_t put = write(browser->commands, command.data() + written, command.size() - written);
        if (put <= 0) return "the browser takes no more commands";
        written += static_cast<size_t>(put);
    }
    const std::string mark = "{\"id\":" + std::to_string(id) + ",";
    std::string message;
    while (read_message(browser, REPLY_SECONDS, &message)) {
        if (message.compare(0, mark.size(), mark) != 0) continue;
        if (message.find("\"error\":") != std::string::npos) return method + " failed: " + message;
        if (reply != nullptr) *reply = message;
        return "";
    }
    return "no reply to " + method;
}

// The JSON string that follows `"key":` in `text`, unescaped; false when
// there is none.
bool json_string_after(const std::string& text, const std::string& key, std::string* value) {
    size_t at = text.find("\"" + key + "\":\"");
    if (at == std::string::npos) return false;
    value->clear();
    for (size_t i = at + key.size() + 4; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') return true;
        if (c != '\\' || i + 1 == text.size()) {
            value->push_back(c);
            continue;
        }
        char escaped = text[++i];
        switch (escaped) {
            case 'n': value->push_back('\n'); break;
            case 't': value->push_back('\t'); break;
            case 'r': value->push_back('\r'); break;
            case 'b': value->push_back('\b'); break;
            case 'f': value->push_back('\f'); break;
            case 'u':
                // The texts looked at are ASCII; anything else stands as '?'.
                if (i + 4 < text.size()) {
                    long code = std::strtol(text.substr(i + 1, 4).c_str(), nullptr, 16);
                    value->push_back(code < 128 ? static_cast<char>(code) : '?');
                    i += 4;
                }
                break;
            default: value->push_back(escaped); break;
        }
    }
    return false;
}

}  // namespace

std::string json_quote(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            quoted.push_back('\\');
            quoted.push_back(c);
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else {
            quoted.push_back(c);
        }
    }
    return quoted + "\"";
}

std::string browser_start(Browser* browser, const Environment& environment, const std::string& profile_dir) {
    std::string program = find_program("chromium");
    if (program.empty()) return "chromium is not installed";
    int to_browser[2];
    int from_browser[2];
    if (pipe(to_browser) != 0) return "no pipe";
    if (pipe(from_browser) != 0) {
        close(to_browser[0]);
        close(to_browser[1]);
        return "no pipe";
    }
    browser->log_path = profile_dir + "/browser.log";
    std::vector<std::string> words = {program, "--user-data-dir=" + profile_dir};
    for (const char* flag : FLAGS) words.push_back(flag);
    words.push_back("about:blank");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) return "cannot fork";
    if (pid == 0) {
        // Its own group, so that its helper processes end with it; and it
        // ends should the test die first.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        int log = open(browser->log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int null_input = open("/dev/null", O_RDONLY);
        dup2(null_input, 0);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        // Descriptors 3 and 4 as the protocol wants them; the pipes' own
        // numbers may be 3 or 4 themselves, so they move above first.
        int in = fcntl(to_browser[0], F_DUPFD, 10);
        int out = fcntl(from_browser[1], F_DUPFD, 10);
        dup2(in, 3);
        dup2(out, 4);
        for (int fd = 5; fd < 1024; ++fd) close(fd);
        for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(to_browser[0]);
    close(from_browser[1]);
    browser->pid = pid;
    browser->commands = to_browser[1];
    browser->replies = from_browser[0];
    fcntl(browser->commands, F_SETFD, FD_CLOEXEC);
    fcntl(browser->replies, F_SETFD, FD_CLOEXEC);
    signal(SIGPIPE, SIG_IGN);

    std::string reply;
    std::string error = call(browser, "Target.createTarget", "{\"url\":\"about:blank\"}", false, &reply);
    std::string target;
    if (error.empty() && !json_string_after(reply, "targetId", &target)) error = "no target in " + reply;
    if (error.empty()) {
        error = call(browser, "Target.attachToTarget",
                     "{\"targetId\":" + json_quote(target) + ",\"flatten\":true}", false, &reply);
    }
    if (error.empty() && !json_string_after(reply, "sessionId", &browser->session)) {
        error = "no session in " + reply;
    }
    if (error.empty()) error = call(browser, "Page.enable", "{}", true, nullptr);
    if (error.empty()) {
        error = call(browser, "Emulation.setDeviceMetricsOverride",
                     "{\"width\":640,\"height\":480,\"deviceScaleFactor\":1,\"mobile\":false}", true, nullptr);
    }
    return error;
}

std::string browser_add_script(Browser* browser, const std::string& source) {
    return call(browser, "Page.addScriptToEvaluateOnNewDocument", "{\"source\":" + json_quote(source) + "}", true,
                nullptr);
}

std::string browser_navigate(Browser* browser, const std::string& url) {
    return call(browser, "Page.navigate", "{\"url\":" + json_quote(url) + "}", true, nullptr);
}

std::string browser_evaluate(Browser* browser, const std::string& expression, std::string* why) {
    std::string reply;
    std::string error = call(browser, "Runtime.evaluate", "{\"expression\":" + json_quote(expression) + "}", true,
                             &reply);
    std::string value;
    if (error.empty() && !json_string_after(reply, "value", &value)) error = "no string from " + reply;
    if (why != nullptr) *why = error;
    return value;
}

std::string browser_press_key(Browser* browser, const std::string& key, int key_code) {
    for (const char* type : {"keyDown", "keyUp"}) {
        std::string error = call(browser, "Input.dispatchKeyEvent",
                                 std::string("{\"type\":\"") + type + "\",\"key\":" + json_quote(key) +
                                     ",\"code\":" + json_quote(key) +
                                     ",\"windowsVirtualKeyCode\":" + std::to_string(key_code) + "}",
                                 true, nullptr);
        if (!error.empty()) return error;
    }
    return "";
}

namespace {

// Presses and releases the left button; `count` is the click's place in a
// series (2: the second of a double click).
std::string click(Browser* browser, int x, int y, int count) {
    for (const char* type : {"mousePressed", "mouseReleased"}) {
        std::string error = call(browser, "Input.dispatchMouseEvent",
                                 std::string("{\"type\":\"") + type + "\",\"x\":" + std::to_string(x) +
                                     ",\"y\":" + std::to_string(y) + ",\"button\":\"left\",\"clickCount\":" +
                                     std::to_string(count) + "}",
                                 true, nullptr);
        if (!error.empty()) return error;
    }
    return "";
}

}  // namespace

std::string browser_click(Browser* browser, int x, int y) { return click(browser, x, y, 1); }

std::string browser_double_click(Browser* browser, int x, int y) {
    std::string error = click(browser, x, y, 1);
    return error.empty() ? click(browser, x, y, 2) : error;
}

std::string browser_set_size(Browser* browser, int width, int height) {
    const std::string w = std::to_string(width);
    const std::string h = std::to_string(height);
    return call(browser, "Emulation.setDeviceMetricsOverride",
                "{\"width\":" + w + ",\"height\":" + h + ",\"screenWidth\":" + w + ",\"screenHeight\":" + h +
                    ",\"deviceScaleFactor\":1,\"mobile\":false}",
                true, nullptr);
}

void browser_stop(Browser* browser) {
    if (browser->commands >= 0) close(browser->commands);
    if (browser->replies >= 0) close(browser->replies);
    browser->commands = browser->replies = -1;
    if (browser->pid == 0) return;
    // Asked first; the whole group is made sure of after.
    kill(browser->pid, SIGTERM);
    int status = 0;
    bool ended = false;
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!(ended = waitpid(browser->pid, &status, WNOHANG) == browser->pid) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(-browser->pid, SIGKILL);
    if (!ended) waitpid(browser->pid, &status, 0);
    browser->pid = 0;
}
