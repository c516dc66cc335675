// The program loads the HID library by name through the dynamic linker, so
// that LD_LIBRARY_PATH can put the scripted one first.
#include "tests/e2e/harness.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

std::string DynamicSection(const std::string &file) {
    std::string text;
    FILE *out = popen(("readelf -d '" + file + "'").c_str(), "r");
    char line[512];
    while (out && std::fgets(line, sizeof line, out))
        text += line;
    if (out)
        pclose(out);
    return text;
}

TEST(Linking, TheLibraryIsFoundByNameThroughRunpath) {
    std::string program = DynamicSection(LUMADRIFTER_BINARY);

    EXPECT_NE(program.find("(NEEDED)             Shared library: [libtiny_hid_dll.so]"),
              std::string::npos)
        << program;
    EXPECT_NE(program.find("(RUNPATH)"), std::string::npos) << program;
    EXPECT_EQ(program.find("(RPATH)"), std::string::npos) << "RPATH would beat LD_LIBRARY_PATH";
}

TEST(Linking, TheScriptedLibraryHasTheRealOnesName) {
    const std::string soname = "Library soname: [libtiny_hid_dll.so]";
    EXPECT_NE(DynamicSection(REAL_HID_LIBRARY).find(soname), std::string::npos);
    EXPECT_NE(DynamicSection(SCRIPTED_HID_LIBRARY).find(soname), std::string::npos);
}

TEST(Linking, LdLibraryPathPutsTheScriptedLibraryFirst) {
    XServer x;
    Launch launch;
    launch.display = x.display;
    launch.script = ScenarioPath("no_remote");
    Program p(launch);

    EXPECT_EQ(p.WaitForExit(), 1);
    ASSERT_TRUE(p.HidLogExists()) << "only the scripted library writes this log";
    std::vector<HidLogLine> log = p.HidLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, "open");
}

} // namespace
