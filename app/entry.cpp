#include "app/entry.h"

#include "app/control_loop.h"
#include "platform/platform.h"
#include "remote/ir_camera.h"
#include "remote/probe.h"
#include "remote/reports.h"
#include "remote/tiny_hid_dll.h"

static void PrintBanner() {
    static const char *const lines[] = {
        "###########################################\n",
        "#                                         #\n",
        "#   Lumadrifter Test version 0.2          #\n",
        "#                  build 2007.2.17        #\n",
        "#                                         #\n",
        "###########################################\n",
        "\n",
        "Usage:\n",
        "   up/down/left/right button  ... Move cursor\n",
        "   B button  ... Left click\n",
        "   A button  ... Right click\n",
        "   (1) button  ... Wheel up\n",
        "   (2) button  ... Wheel down\n",
        "   (+) button  ... Wheel down\n",
        "   (-) button  ... Wheel up\n",
        "   Home button  ... Quit\n",
        "\n",
    };
    for (const char *line : lines)
        WriteConsoleText(line);
}

// Camera and rumble off, buttons only. LED 1 stays lit. The reader thread's
// last read, if it has not ended yet, answers no status report after this.
static void QuietRemote() {
    ForgetCameraMode();
    SetIrCamera(0x00);
    SetIrCamera2(0x00);
    SetReportMode(0x00, 0x30);
}

// Whether the remote's handle is open; under the output lock (platform.h).
static bool remoteOpen;

// The platform's end (platform.h), wherever the main thread is: the remote
// is left as the normal end leaves it.
static void LeaveRemote() {
    if (!remoteOpen)
        return;
    SendQuietStateAside();
    CloseHidHandle(remoteLink.handle);
    remoteOpen = false;
}

static void CloseRemote() {
    LockOutput();
    CloseHidHandle(remoteLink.handle);
    remoteOpen = false;
    UnlockOutput();
}

static int RunWithRemote() {
    SetReportMode(0x00, 0x31);
    if (!ProbeRemote()) {
        ShowMessage("Wii-Remote cannot open.");
        StopReaderThread();
        CloseRemote();
        return 0;
    }

    PrintBanner();
    SetLeds(0x10);
    SetUpIrCamera();
    LoopEnd end = RunControlLoop();
    QuietRemote();
    CloseRemote();

    if (end == LoopDisconnected) {
        ShowMessage("Wii-Remote disconnected.");
        return 1;
    }
    return 0;
}

int RunLumadrifter() {
    if (!StartPlatform())
        return 1;

    int code;
    OnEndRequest(LeaveRemote);
    LockOutput();
    remoteLink.handle = OpenHidHandle(0x057E, 0x0306);
    remoteOpen = remoteLink.handle != -1;
    UnlockOutput();
    if (remoteLink.handle == -1) {
        ShowMessage("Wii-Remote not found.");
        AdviseOnNoRemote();
        code = 1;
    } else {
        code = RunWithRemote();
    }
    StopPlatform();
    return code;
}
