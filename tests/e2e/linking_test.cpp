// The program loads the HID library by name through the dynamic linker, so
// that LD_LIBRARY_PATH can put the scripted one first.
#include "tests/e2e/harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

// What a shell command writes on stdout; empty when it fails.
std::string Output(const std::string &command) {
    TempDir dir;
    std::string out = dir.File("out");
    return std::system((command + " >" + out).c_str()) == 0 ? ReadWholeFile(out) : "";
}

TEST(Linking, TheLibraryIsFoundByNameThroughRunpath) {
    std::string program = Output("readelf -d '" LUMADRIFTER_BINARY "'");

    EXPECT_NE(program.find("(NEEDED)             Shared library: [libtiny_hid_dll.so]"),
              std::string::npos)
        << program;
    EXPECT_NE(program.find("(RUNPATH)"), std::string::npos) << program;
    EXPECT_EQ(program.find("(RPATH)"), std::string::npos) << "RPATH would beat LD_LIBRARY_PATH";
}

TEST(Linking, TheScriptedLibraryHasTheRealOnesName) {
    const std::string soname = "Library soname: [libtiny_hid_dll.so]";
    EXPECT_NE(Output("readelf -d '" REAL_HID_LIBRARY "'").find(soname), std::string::npos);
    EXPECT_NE(Output("readelf -d '" SCRIPTED_HID_LIBRARY "'").find(soname), std::string::npos);
}

TEST(Linking, LdLibraryPathPutsTheScriptedLibraryFirst) {
    XServer x;
    Program p({.display = x.display, .script = ScenarioPath("no_remote")});

    EXPECT_EQ(p.WaitForExit(), 1);
    ASSERT_TRUE(p.HidLogExists()) << "only the scripted library writes this log";
    std::vector<LogLine> log = p.HidLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, "open");
}

// Installed under a scratch root: the program finds the library installed
// beside it (lib/ next to bin/), the udev rule is in place, and the user
// unit starts the program where it was installed.
TEST(Install, PutsProgramLibraryAndRuleWhereTheyWork) {
    TempDir root;
    std::string install = "DESTDIR='" + root.path +
                          "' '" CMAKE_PROGRAM "' --install '" BUILD_DIR
                          "' --prefix /opt/lumadrifter >/dev/null 2>&1 && echo done";
    ASSERT_EQ(Output(install), "done\n");

    std::string prefix = root.path + "/opt/lumadrifter";
    EXPECT_TRUE(std::filesystem::exists(prefix + "/lib/libtiny_hid_dll.so"));
    std::string rule = ReadWholeFile(root.path + "/etc/udev/rules.d/70-lumadrifter.rules");
    // A rule missing altogether reads empty and fails every one.
    for (const char *id : {"0005:057E:0306", "0005:057E:0330", "uinput"})
        EXPECT_NE(rule.find(id), std::string::npos) << id;
    std::string unit = ReadWholeFile(prefix + "/lib/systemd/user/lumadrifter.service");
    EXPECT_NE(unit.find("\nExecStart=/opt/lumadrifter/bin/lumadrifter\n"), std::string::npos)
        << unit;
    EXPECT_TRUE(std::filesystem::exists(prefix + "/bin/lumadrifter-virtual-remote"));

    std::string loaded =
        Output("env -u LD_LIBRARY_PATH LD_TRACE_LOADED_OBJECTS=1 '" + prefix + "/bin/lumadrifter'");
    EXPECT_NE(loaded.find("libtiny_hid_dll.so => " + prefix + "/bin/../lib/libtiny_hid_dll.so"),
              std::string::npos)
        << loaded;
}

} // namespace
