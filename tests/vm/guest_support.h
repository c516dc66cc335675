// What the tests inside the VM need around the real parts: starting and
// stopping processes by PID, finding device nodes through sysfs, recording
// an evdev node, and reading the virtual remote's log.
#pragma once

#include "tests/remote_log.h"
#include "tests/test_kit.h"

#include <linux/input.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct Child {
    pid_t pid = -1;
    int input = -1; // write end of the child's stdin, or -1 (stdin is /dev/null)
};

// Starts argv[0] with these extra environment entries, stdout and stderr
// into files; with withInput its stdin is a pipe the caller writes to. A
// user id other than 0 runs it as that user.
Child StartChild(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                 const std::string &outPath, const std::string &errPath, bool withInput,
                 uid_t user = 0);
// The exit code (128 + signal when killed by one), or -1 if it has not ended
// within ms; it is then stopped.
int WaitChild(Child &child, int ms);
// Ends a child still running (StopProcess).
void StopChild(Child &child);
void WriteToChild(Child &child, const std::string &text);
void CloseChildInput(Child &child);
// What a command printed on stdout, within 20 s; its stderr goes to
// /tmp/command.err.
std::string CommandOutput(const std::vector<std::string> &argv,
                          const std::vector<std::string> &env = {}, uid_t user = 0);

std::string ReadFile(const std::string &path);
bool WriteFile(const std::string &path, const std::string &text);
// The names in a folder, hidden ones left out.
std::vector<std::string> ListDirectory(const std::string &path);

// /dev/hidrawN of the HID device with these ids, waiting up to ms; "" if none.
std::string FindHidraw(int vendor, int product, int ms);

// An input device as sysfs shows it.
struct InputNode {
    std::string event; // /dev/input/eventN
    std::string name;
    int vendor = 0, product = 0;
    std::string hidParent; // the HID device it hangs under, "" for none
    bool keys = false;     // it reports keys or buttons
};
std::vector<InputNode> ListInputNodes();
// The first input device whose name starts with prefix, waiting up to ms.
InputNode WaitForInputNode(const std::string &prefix, int ms);
bool InputNodeExists(const std::string &prefix);

// Records every event of an evdev node on a thread of its own, from
// construction until Stop or until the device goes away.
class EventRecorder {
  public:
    explicit EventRecorder(const std::string &node);
    ~EventRecorder();
    bool Opened() const { return fd >= 0; }
    void Stop();
    std::vector<input_event> Events();
    // Whether the device went away (a read failed with ENODEV).
    bool DeviceGone() const { return gone; }

  private:
    void Run();
    int fd = -1;
    std::atomic<bool> stopping{false};
    std::atomic<bool> gone{false};
    std::mutex lock;
    std::vector<input_event> events;
    std::thread reader;
};

// Events of one type and code, values in order.
std::vector<int> Values(const std::vector<input_event> &events, int type, int code);
// The events between two SYN_REPORTs, one frame a list, SYN_REPORT left out.
std::vector<std::vector<input_event>> Frames(const std::vector<input_event> &events);
// The range an evdev node gives an absolute axis.
input_absinfo AbsoluteAxis(const std::string &node, int code);
// The HID device a hidraw node belongs to, as sysfs names it.
std::string HidDeviceOf(const std::string &hidraw);

// The virtual remote's log (tests/remote_log.h).
std::vector<LogLine> ReadRemoteLog(const std::string &path);
