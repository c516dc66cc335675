// The program as the installed files start it in a desktop session: udev
// classifies the remote's node with the installed rule, and a systemd user
// manager starts the program when a remote connects and sees it end when
// the remote goes. udevd and journald run from the VM's start (init.sh);
// the user manager is started here for root, as a login would start it.
#include "tests/expected_banner.h"
#include "tests/vm/program_run.h"

namespace {

const std::vector<std::string> userEnv = {"XDG_RUNTIME_DIR=/run/user/0", "HOME=/root",
                                          "SYSTEMD_PAGER=cat", "SYSTEMD_COLORS=0"};

std::string Output(const std::vector<std::string> &argv) {
    return CommandOutput(argv, userEnv);
}

// A unit's property, once it is awaited or ms have passed (at once for 0).
std::string Property(const std::string &unit, const std::string &name,
                     const std::string &awaited = "", int ms = 0) {
    std::string now;
    WaitUntil(
        [&] {
            now = Output({"/usr/bin/systemctl", "--user", "show", "--value", "-p", name, unit});
            now.erase(now.find_last_not_of('\n') + 1);
            return now == awaited;
        },
        ms, 100);
    return now;
}

// Root's user manager, in a control group of its own as logind would give
// it. It agrees to run without systemd as the VM's first process once
// /run/systemd/system exists (init.sh makes it).
struct UserManager {
    Child child;
    UserManager() {
        std::string group = "/sys/fs/cgroup/user.slice/user-0.slice/user@0.service";
        system(("mkdir -p -m 0700 /run/user/0 " + group).c_str());
        child.Start({"/bin/sh", "-c",
                     "echo $$ >" + group +
                         "/cgroup.procs && exec /lib/systemd/systemd --user "
                         "--log-target=journal --log-level=debug"},
                    userEnv, "user-manager");
    }
    bool Ready() { return Property("default.target", "ActiveState", "active", 20000) == "active"; }
    ~UserManager() { Output({"/usr/bin/systemctl", "--user", "disable", "lumadrifter.service"}); }
};

int Count(const std::string &text, const std::string &part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        count++;
    return count;
}

} // namespace

// The installed rule, as udevd applies it: the remote's node is for the
// user at the seat and pulls in the target that starts the program; so is
// /dev/uinput, for the virtual mouse.
TEST(VmSession, TheRuleMarksTheRemoteAndUinput) {
    Session s; // the remote stays until the test ends
    ASSERT_NO_FATAL_FAILURE(s.StartRemote("rule"));
    Output({"/usr/bin/udevadm", "settle"});

    std::string hidraw = UdevProperties(s.hidraw);
    for (const char *part :
         {":uaccess:", ":systemd:", "\nSYSTEMD_USER_WANTS=lumadrifter-remote.target\n"})
        EXPECT_NE(hidraw.find(part), std::string::npos) << hidraw;
    std::string uinput = UdevProperties("/dev/uinput");
    EXPECT_NE(uinput.find(":uaccess:"), std::string::npos) << uinput;
}

// Installed, the package starts nothing; enabled, each connection starts
// the program and its end at the remote's going counts as a normal end.
TEST(VmSession, AConnectingRemoteStartsTheProgramOnceEnabled) {
    UserManager manager;
    ASSERT_TRUE(manager.Ready()) << manager.child.Err();
    const std::string service = "lumadrifter.service";
    const std::string target = "lumadrifter-remote.target";

    {
        // The remote stays until the target is seen active, then as long
        // again as a program started for it would take to open it.
        RemoteRun remote;
        remote.Start("not-enabled");
        EXPECT_EQ(Property(target, "ActiveState", "active", 30000), "active");
        remote.PlayCommands("wait 1500\ngone\n");
        EXPECT_EQ(remote.Wait(10000), 0);
        EXPECT_EQ(Property(service, "ActiveState"), "inactive");
        EXPECT_EQ(OfKind(ReadRemoteLog(remote.log), "open").size(), 0u)
            << "no program opened the remote";
    }
    EXPECT_EQ(Property(target, "ActiveState", "inactive", 10000), "inactive")
        << "the target ends with the last remote";

    Output({"/usr/bin/systemctl", "--user", "enable", service});
    for (const std::string name : {"first", "again"}) {
        SCOPED_TRACE(name);
        RemoteRun remote; // a remote that connects, is set up and goes
        remote.Start(name);
        remote.PlayCommands("await 12 00 33\nwait 500\ngone\n");
        EXPECT_EQ(remote.Wait(30000), 0) << "the program set the remote up";
        // Gone before the quiet state: the start-up reports alone.
        EXPECT_EQ(remote.Outputs(), FromOneBuffer(ExpectedStartUp()));
        // A failed unit would stay "failed"; an inactive one is let go of,
        // so what its run ended with is read from the journal below.
        EXPECT_EQ(Property(service, "ActiveState", "inactive", 10000), "inactive");
    }
    // What the program said (the journal keeps no empty lines): no session
    // in the VM to describe the screens, the banner, the remote gone; and
    // what the manager said of its two runs: code 1, taken as a normal end.
    std::string run =
        consoleLayoutGuess + expectedBanner + "IR-Track NG\nWii-Remote disconnected.\n";
    for (size_t at; (at = run.find("\n\n")) != std::string::npos;)
        run.erase(at, 1);
    // The journal's messages, one a line.
    EXPECT_EQ(Output({"/usr/bin/journalctl", "--no-pager", "-o", "cat",
                      "_SYSTEMD_USER_UNIT=" + service, "SYSLOG_IDENTIFIER=lumadrifter"}),
              run + run);
    std::string managed =
        Output({"/usr/bin/journalctl", "--no-pager", "-o", "cat", "USER_UNIT=" + service});
    EXPECT_EQ(Count(managed, "Started lumadrifter.service"), 2) << managed;
    EXPECT_EQ(Count(managed, "Main process exited, code=exited, status=1/FAILURE"), 2) << managed;
    EXPECT_EQ(Count(managed, "lumadrifter.service: Deactivated successfully."), 2) << managed;
    EXPECT_EQ(Count(managed, "Failed with result"), 0) << managed;
}
