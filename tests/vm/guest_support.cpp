#include "tests/vm/guest_support.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

Child StartChild(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                 const std::string &outPath, const std::string &errPath, bool withInput,
                 uid_t user) {
    Child child;
    int pipeFds[2] = {-1, -1};
    if (withInput && pipe2(pipeFds, O_CLOEXEC) != 0)
        return child;

    child.pid = fork();
    if (child.pid == 0) {
        int in = withInput ? pipeFds[0] : open("/dev/null", O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (const std::string &e : env)
            putenv(const_cast<char *>(e.c_str()));
        if (user != 0 && (setgid(user) != 0 || setuid(user) != 0))
            _exit(126);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execve(args[0], args.data(), environ);
        std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(errno));
        _exit(127);
    }
    if (withInput) {
        close(pipeFds[0]);
        child.input = pipeFds[1];
    }
    return child;
}

int WaitChild(Child &child, int ms) {
    int status = 0;
    if (child.pid <= 0 ||
        !WaitUntil([&] { return waitpid(child.pid, &status, WNOHANG) == child.pid; }, ms, 5)) {
        StopChild(child);
        return -1;
    }
    child.pid = -1;
    CloseChildInput(child);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void StopChild(Child &child) {
    StopProcess(child.pid);
    child.pid = -1;
    CloseChildInput(child);
}

void WriteToChild(Child &child, const std::string &text) {
    if (child.input >= 0 && write(child.input, text.data(), text.size()) < 0)
        std::perror("writing to a child");
}

void CloseChildInput(Child &child) {
    if (child.input >= 0)
        close(child.input);
    child.input = -1;
}

std::string CommandOutput(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                          uid_t user) {
    Child child = StartChild(argv, env, "/tmp/command.out", "/tmp/command.err", false, user);
    WaitChild(child, 20000);
    return ReadFile("/tmp/command.out");
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

bool WriteFile(const std::string &path, const std::string &text) {
    std::ofstream out(path);
    out << text;
    return static_cast<bool>(out);
}

std::vector<std::string> ListDirectory(const std::string &path) {
    std::vector<std::string> names;
    if (DIR *dir = opendir(path.c_str())) {
        while (dirent *entry = readdir(dir))
            if (entry->d_name[0] != '.')
                names.push_back(entry->d_name);
        closedir(dir);
    }
    return names;
}

// A HID device's uevent holds HID_ID=<bus>:<vendor>:<product>, 8 hex digits each.
static bool HidIdMatches(const std::string &uevent, int vendor, int product) {
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, ":%08X:%08X\n", vendor, product);
    size_t at = uevent.find("HID_ID=");
    return at != std::string::npos && uevent.compare(at + 11, std::strlen(wanted), wanted) == 0;
}

std::string FindHidraw(int vendor, int product, int ms) {
    std::string found;
    WaitUntil(
        [&] {
            for (const std::string &name : ListDirectory("/sys/class/hidraw"))
                if (found.empty() &&
                    HidIdMatches(ReadFile("/sys/class/hidraw/" + name + "/device/uevent"), vendor,
                                 product) &&
                    access(("/dev/" + name).c_str(), F_OK) == 0)
                    found = "/dev/" + name;
            return !found.empty();
        },
        ms);
    return found;
}

// The last part of a symbolic link's target, "" for no link.
static std::string LinkedName(const std::string &link) {
    char target[512];
    ssize_t n = readlink(link.c_str(), target, sizeof target);
    std::string path(target, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(path.rfind('/') + 1);
}

static int ReadHexFile(const std::string &path) {
    return static_cast<int>(std::strtol(ReadFile(path).c_str(), nullptr, 16));
}

std::vector<InputNode> ListInputNodes() {
    std::vector<InputNode> nodes;
    for (const std::string &name : ListDirectory("/sys/class/input")) {
        if (name.compare(0, 5, "event") != 0)
            continue;
        std::string dir = "/sys/class/input/" + name + "/device/";
        InputNode node;
        node.event = "/dev/input/" + name;
        node.name = ReadFile(dir + "name");
        if (!node.name.empty() && node.name.back() == '\n')
            node.name.pop_back();
        std::string keys = ReadFile(dir + "capabilities/key");
        node.keys = !keys.empty() && keys != "0\n";
        node.vendor = ReadHexFile(dir + "id/vendor");
        node.product = ReadHexFile(dir + "id/product");
        node.hidParent = LinkedName(dir + "device");
        nodes.push_back(node);
    }
    return nodes;
}

static bool Named(const InputNode &node, const std::string &prefix) {
    return node.name.compare(0, prefix.size(), prefix) == 0;
}

InputNode WaitForInputNode(const std::string &prefix, int ms) {
    InputNode found;
    WaitUntil(
        [&] {
            for (const InputNode &node : ListInputNodes())
                if (found.event.empty() && Named(node, prefix) &&
                    access(node.event.c_str(), F_OK) == 0)
                    found = node;
            return !found.event.empty();
        },
        ms);
    return found;
}

bool InputNodeExists(const std::string &prefix) {
    std::vector<InputNode> nodes = ListInputNodes();
    return std::any_of(nodes.begin(), nodes.end(),
                       [&](const InputNode &node) { return Named(node, prefix); });
}

EventRecorder::EventRecorder(const std::string &node) {
    fd = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
        reader = std::thread([this] { Run(); });
}

EventRecorder::~EventRecorder() {
    Stop();
}

void EventRecorder::Stop() {
    stopping = true;
    if (reader.joinable())
        reader.join();
    if (fd >= 0)
        close(fd);
    fd = -1;
}

void EventRecorder::Run() {
    while (!stopping) {
        pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, 20) <= 0)
            continue;
        input_event batch[64];
        ssize_t n = read(fd, batch, sizeof batch);
        if (n < 0 && errno == ENODEV) {
            gone = true;
            return;
        }
        if (n <= 0)
            continue;
        std::lock_guard<std::mutex> hold(lock);
        events.insert(events.end(), batch, batch + n / sizeof(input_event));
    }
}

std::vector<input_event> EventRecorder::Events() {
    std::lock_guard<std::mutex> hold(lock);
    return events;
}

std::vector<int> Values(const std::vector<input_event> &events, int type, int code) {
    std::vector<int> values;
    for (const input_event &e : events)
        if (e.type == type && e.code == code)
            values.push_back(e.value);
    return values;
}

std::vector<std::vector<input_event>> Frames(const std::vector<input_event> &events) {
    std::vector<std::vector<input_event>> frames(1);
    for (const input_event &e : events) {
        if (e.type == EV_SYN && e.code == SYN_REPORT)
            frames.emplace_back();
        else
            frames.back().push_back(e);
    }
    frames.pop_back();
    return frames;
}

input_absinfo AbsoluteAxis(const std::string &node, int code) {
    input_absinfo axis{};
    int fd = open(node.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ioctl(fd, EVIOCGABS(code), &axis);
        close(fd);
    }
    return axis;
}

std::string HidDeviceOf(const std::string &hidraw) {
    return LinkedName("/sys/class/hidraw/" + hidraw.substr(hidraw.rfind('/') + 1) + "/device");
}

std::vector<LogLine> ReadRemoteLog(const std::string &path) {
    return ParseLog(ReadFile(path));
}
